#include "rdd/work_area.h"

#include "services/runtime.h"
#include "services/text.h"

namespace talvor {

WorkArea::WorkArea(std::string driverName) : driverName_(std::move(driverName)) {}
WorkArea::~WorkArea() = default;

bool WorkArea::unsupported(const char* operation) {
  RuntimeError e = makeError(driverName_, gen::Unsupported, 0, operation);
  raiseError(e);
  return false;
}

bool WorkArea::goFirst() { return unsupported("goFirst"); }
bool WorkArea::goLast() { return unsupported("goLast"); }
bool WorkArea::goToRecord(uint32_t) { return unsupported("goToRecord"); }

bool WorkArea::goToIdentity(const Value& id) {
  if (id.isNumber()) return goToRecord(id.asDouble() > 0 ? static_cast<uint32_t>(id.asDouble()) : 0);
  if (id.isDate()) return goToRecord(static_cast<uint32_t>(id.asDay()));
  if (id.isText() && id.asText().size() == 1) return goToRecord(static_cast<unsigned char>(id.asText()[0]));
  raiseError(1020);
  return false;
}

bool WorkArea::skipBy(int64_t n) {
  const bool filtered = rt().settings.deleted || hasFilter();
  if (n != 0 && !filtered) {
    if (!stepRaw(n)) return false;
    if (bof_ && n < 0) {
      goFirst();
      bof_ = true;
    }
    if (n < 0) eof_ = false;
    else bof_ = false;
    return true;
  }
  if (n == 0) return stepRaw(0);
  top_ = bottom_ = false;
  const int direction = n > 0 ? 1 : -1;
  for (int64_t i = 0; i < (n > 0 ? n : -n); ++i) {
    if (!stepRaw(direction) || !passHidden(direction)) return false;
    if (bof_ || eof_) break;
  }
  if (direction < 0) eof_ = false;
  else bof_ = false;
  return true;
}

bool WorkArea::isVisible() {
  if (hasFilter()) {
    const Value r = filter_.call();
    if (r.isLogical() && !r.asLogical()) return false;
  }
  if (rt().settings.deleted) {
    bool d = false;
    if (!readDeleted(d)) return false;
    if (d) return false;
  }
  return true;
}

bool WorkArea::passHidden(int direction) {
  if (!rt().settings.deleted && !hasFilter()) return true;
  while (!bof_ && !eof_) {
    if (isVisible()) return true;
    if (!stepRaw(direction)) return false;
  }
  if (bof_ && direction < 0) {
    if (bottom_) return goToRecord(0);
    goFirst();
    bof_ = true;
  }
  return true;
}

bool WorkArea::stepRaw(int64_t) { return unsupported("stepRaw"); }

bool WorkArea::seekKey(const Value&, bool, bool) {
  RuntimeError e = makeError(driverName_, gen::NotIndexed, 1201);
  e.canDefault = true;
  raiseError(e);
  return false;
}

bool WorkArea::appendBlank(bool) { return unsupported("appendBlank"); }
bool WorkArea::markDeleted() { return unsupported("markDeleted"); }
bool WorkArea::unmarkDeleted() { return unsupported("unmarkDeleted"); }
bool WorkArea::readDeleted(bool& deleted) {
  deleted = false;
  return true;
}
bool WorkArea::readField(int, Value&) { return unsupported("readField"); }
bool WorkArea::writeField(int, const Value&) { return unsupported("writeField"); }
bool WorkArea::beginChange() { return true; }
bool WorkArea::writeBack() { return true; }
bool WorkArea::flushArea() { return true; }
uint32_t WorkArea::countRecords() { return 0; }
uint32_t WorkArea::currentRecord() const { return 0; }

int WorkArea::fieldPosition(std::string_view name) const {
  std::size_t end = name.size();
  while (end > 0 && name[end - 1] == ' ') --end;
  std::string wanted = upperAscii(name.substr(0, end));
  if (wanted.size() > dbf::kMaxNameLength) wanted.resize(dbf::kMaxNameLength);
  for (std::size_t i = 0; i < fields_.size(); ++i)
    if (fields_[i].name == wanted) return static_cast<int>(i + 1);
  return 0;
}

bool WorkArea::openTable(const OpenRequest&) { return unsupported("openTable"); }
bool WorkArea::closeTable() { return true; }
bool WorkArea::createTable(const std::string&, const std::vector<dbf::FieldDef>&) { return unsupported("createTable"); }
bool WorkArea::packTable() { return unsupported("packTable"); }
bool WorkArea::zapTable() { return unsupported("zapTable"); }
bool WorkArea::tableInfo(TableInfoItem, Value& out, const Value*) {
  out = Value();
  return false;
}
bool WorkArea::readHeader() { return unsupported("readHeader"); }
bool WorkArea::writeHeader() { return unsupported("writeHeader"); }
bool WorkArea::createMemoFile() { return unsupported("createMemoFile"); }
bool WorkArea::openMemoFile() { return unsupported("openMemoFile"); }
bool WorkArea::lockRegion(LockAction, uint32_t) { return false; }
bool WorkArea::requestLock(int, uint32_t, bool& locked) {
  locked = false;
  return false;
}
bool WorkArea::releaseLocks(uint32_t) { return true; }

ErrorAnswer WorkArea::raiseError(int subCode, const std::string& fileName, int osCode, bool canRetry,
                                 bool canDefault) {
  RuntimeError e = makeEngineError(driverName_, subCode, fileName, osCode);
  e.canRetry = canRetry;
  e.canDefault = canDefault;
  return raiseError(e);
}

ErrorAnswer WorkArea::raiseError(RuntimeError& error) {
  if (error.subsystem.empty()) error.subsystem = driverName_;
  return raise(error);
}

}  // namespace talvor
