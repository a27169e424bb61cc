#include "rdd/area_registry.h"

#include "services/expr/field_scope.h"
#include "services/runtime.h"
#include "services/text.h"

namespace talvor {

namespace {

// Field references of expressions, resolved against the work areas.
class AreaFieldScope : public FieldScope {
 public:
  explicit AreaFieldScope(AreaRegistry& registry) : registry_(registry) {}
  int areaOf(std::string_view alias) override {
    if (alias.empty()) return registry_.currentArea() ? registry_.current() : 0;
    return registry_.areaOfAlias(alias);
  }
  int fieldIndex(int area, std::string_view name) override {
    WorkArea* a = registry_.area(area);
    return a ? a->fieldPosition(name) : 0;
  }
  Value readField(int area, int index) override {
    Value v;
    if (WorkArea* a = registry_.area(area)) a->readField(index, v);
    return v;
  }
  int currentArea() override { return registry_.current(); }
  Value recno(int area) override {
    WorkArea* a = registry_.area(area);
    return Value::integer(a ? a->currentRecord() : 0, 7);
  }
  bool deleted(int area) override {
    bool d = false;
    if (WorkArea* a = registry_.area(area)) a->readDeleted(d);
    return d;
  }
  uint64_t tableSerial(int area) override {
    WorkArea* a = registry_.area(area);
    return a ? a->tableSerial() : 0;
  }

 private:
  AreaRegistry& registry_;
};

}  // namespace

AreaRegistry::AreaRegistry() : fieldScope_(std::make_unique<AreaFieldScope>(*this)) {
  setFieldScope(fieldScope_.get());
}

AreaRegistry::~AreaRegistry() {
  for (auto& [n, area] : areas_)
    if (area) area->closeTable();
  areas_.clear();
  if (fieldScope() == fieldScope_.get()) setFieldScope(nullptr);
}

int AreaRegistry::nextFree() const {
  int n = 1;
  for (const auto& [number, area] : areas_) {
    if (number != n) break;
    ++n;
  }
  return n;
}

WorkArea* AreaRegistry::area(int n) const {
  auto it = areas_.find(n);
  return it == areas_.end() ? nullptr : it->second.get();
}

WorkArea* AreaRegistry::install(int n, std::unique_ptr<WorkArea> a) {
  a->setAreaNumber(n);
  WorkArea* raw = a.get();
  areas_[n] = std::move(a);
  return raw;
}

void AreaRegistry::release(int n) { areas_.erase(n); }

std::string AreaRegistry::normalizeAlias(std::string_view alias) {
  std::string a = upperAscii(alias);
  const std::size_t blank = a.find(' ');
  if (blank != std::string::npos) a.resize(blank);
  if (a.size() > 32) a.resize(32);
  return a;
}

int AreaRegistry::areaOfAlias(std::string_view alias) const {
  auto it = aliases_.find(normalizeAlias(alias));
  return it == aliases_.end() ? 0 : it->second;
}

bool AreaRegistry::bindAlias(const std::string& alias, int n) {
  return aliases_.emplace(normalizeAlias(alias), n).second;
}

void AreaRegistry::unbindAlias(const std::string& alias) { aliases_.erase(normalizeAlias(alias)); }

AreaRegistry& areas() { return rt().component<AreaRegistry>(); }

WorkArea* currentArea() { return areas().currentArea(); }

WorkArea* areaByAlias(std::string_view alias) {
  AreaRegistry& r = areas();
  return r.area(r.areaOfAlias(alias));
}

}  // namespace talvor
