#include "services/runtime.h"

#include "services/text.h"

namespace talvor {

void Runtime::setPublic(const std::string& name, Value v) {
  // Names are upper case already as a rule; the lookup as given finds them
  // without building the upper-case copy (a name with a lower-case letter is
  // never a key).
  if (auto it = publics.find(name); it != publics.end()) {
    it->second = std::move(v);
    return;
  }
  publics[upperAscii(name)] = std::move(v);
}

const Value* Runtime::findPublic(const std::string& name) const {
  if (auto it = publics.find(name); it != publics.end()) return &it->second;
  auto it = publics.find(upperAscii(name));
  return it == publics.end() ? nullptr : &it->second;
}

std::size_t Runtime::nextSlot() {
  static std::size_t count = 0;
  return count++;
}

void Runtime::destroyComponents() {
  while (!components_.empty()) {
    std::shared_ptr<void> last = std::move(components_.back().second);
    bySlot_[components_.back().first] = nullptr;
    components_.pop_back();
    last.reset();
  }
}

void Runtime::reset() {
  destroyComponents();
  settings = Settings{};
  publics.clear();
  netErr = false;
  errorHandler = nullptr;
  fatalHook = nullptr;
  procStack.clear();
}

Runtime::~Runtime() { destroyComponents(); }

Runtime& rt() {
  static Runtime runtime;
  return runtime;
}

ProcScope::ProcScope(std::string name, int line) {
  rt().procStack.push_back(ProcFrame{std::move(name), line, {}});
}

ProcScope::~ProcScope() {
  if (!rt().procStack.empty()) rt().procStack.pop_back();
}

void ProcScope::setLine(int line) {
  if (!rt().procStack.empty()) rt().procStack.back().line = line;
}

void ProcScope::variable(std::string name, std::function<Value()> read) {
  if (!rt().procStack.empty()) rt().procStack.back().variables.emplace_back(std::move(name), std::move(read));
}

}  // namespace talvor
