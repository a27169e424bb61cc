#include "rdd/db_commands.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "rdd/area_registry.h"
#include "rdd/dbf_area.h"
#include "rdd/drivers.h"
#include "rdd/file_names.h"
#include "services/runtime.h"
#include "services/text.h"

namespace talvor {

namespace {

constexpr char kSubsystem[] = "DBCMD";

bool truthy(const Value& v) { return v.isLogical() && v.asLogical(); }

// A one-letter alias other than "L" and the letters after "M" is reserved.
bool reservedLetter(const std::string& alias) {
  if (alias.size() != 1) return false;
  const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(alias[0])));
  return !(c == 'L' || c > 'M');
}

int64_t numberOr(const Value& v, int64_t fallback) { return v.isNumber() ? static_cast<int64_t>(v.asDouble()) : fallback; }

// Frees area n after its close. A close that stopped on a failed write keeps its
// alias bound; the freed area must not keep the name from the next open.
void releaseClosed(AreaRegistry& r, int n) {
  if (WorkArea* a = r.area(n); a && !a->alias().empty() && r.areaOfAlias(a->alias()) == n) r.unbindAlias(a->alias());
  r.release(n);
}

}  // namespace

WorkArea* requireTable(const char* function) {
  if (WorkArea* a = currentArea()) return a;
  RuntimeError e = makeError(kSubsystem, gen::NoTable, 2001, function);
  e.canDefault = true;
  raise(e);
  return nullptr;
}

Value DBSELECTAREA(const Value& area) {
  AreaRegistry& r = areas();
  int64_t n = 0;
  if (area.isText()) {
    const std::string& t = area.asText();
    if (!t.empty() && t[0] >= '0' && t[0] <= '9') {
      for (std::size_t i = 0; i < t.size() && t[i] >= '0' && t[i] <= '9' && n < 100000; ++i) n = n * 10 + (t[i] - '0');
    } else if (t.size() == 1 && std::toupper(static_cast<unsigned char>(t[0])) >= 'A' &&
               std::toupper(static_cast<unsigned char>(t[0])) <= 'K') {
      n = std::toupper(static_cast<unsigned char>(t[0])) - 'A' + 1;
    } else if (t.size() == 1 && std::toupper(static_cast<unsigned char>(t[0])) == 'M') {
      n = 0;
    } else {
      for (;;) {
        const int found = r.areaOfAlias(t);
        if (found) {
          r.select(found);
          return Value();
        }
        RuntimeError e = makeError("BASE", gen::NoAlias, 1002, t);
        e.canRetry = true;
        if (raise(e).action != Answer::Retry) return Value();
      }
    }
  } else if (area.isNumber()) {
    n = static_cast<int64_t>(area.asDouble());
  }
  r.select(n < 1 || n > AreaRegistry::kMaxArea ? r.nextFree() : static_cast<int>(n));
  return Value();
}

Value SELECT(const Value& alias) {
  AreaRegistry& r = areas();
  if (alias.isNil()) return Value::integer(r.current());
  if (!alias.isText()) return Value::integer(0);
  const std::string& t = alias.asText();
  if (t.size() == 1) {
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(t[0])));
    if (c >= 'A' && c <= 'K') return Value::integer(c - 'A' + 1);
  }
  return Value::integer(r.areaOfAlias(t));
}

Value ALIAS(const Value& n) {
  AreaRegistry& r = areas();
  const int64_t number = numberOr(n, 0);
  WorkArea* a = r.area(number == 0 ? r.current() : static_cast<int>(number));
  return Value::text(a ? a->alias() : std::string());
}

Value USED() { return Value::logical(currentArea() != nullptr); }

Value DBUSEAREA(const Value& newArea, const Value& driver, const Value& name, const Value& alias,
                const Value& shared, const Value& readOnly, const Value& codePage) {
  AreaRegistry& r = areas();
  rt().netErr = false;
  if (!truthy(newArea) && currentArea()) DBCLOSEAREA();
  std::string driverName = driver.isText() && !driver.asText().empty() ? upperAscii(driver.asText()).substr(0, 32)
                                                                        : r.defaultDriver;
  if (!name.isText() || name.asText().empty()) {
    raise(makeError(kSubsystem, gen::ArgumentError, 1005, "DBUSEAREA"));
    return Value();
  }
  std::string file = name.asText().substr(0, 255);
  std::string aliasText = alias.isText() && !alias.asText().empty() ? alias.asText().substr(0, 32)
                                                                     : baseName(file).substr(0, 32);
  const std::string normalized = AreaRegistry::normalizeAlias(aliasText);
  if (!normalized.empty() && normalized[0] >= '0' && normalized[0] <= '9') {
    raise(makeError(kSubsystem, gen::BadAlias, 1010, aliasText));
    return Value();
  }
  if (reservedLetter(normalized) || r.areaOfAlias(normalized)) {
    raise(makeError(kSubsystem, gen::DupAlias, 1011, aliasText));
    return Value();
  }
  if (truthy(newArea)) r.select(r.nextFree());
  std::unique_ptr<WorkArea> made = makeWorkArea(driverName);
  if (!made) {
    raise(makeError(kSubsystem, gen::ArgumentError, 1015, "DBUSEAREA"));
    return Value();
  }
  WorkArea* a = r.install(r.current(), std::move(made));
  if (!hasExtension(file)) file += ".dbf";
  OpenRequest request;
  request.fileName = file;
  request.alias = normalized;
  request.shared = shared.isLogical() ? shared.asLogical() : !rt().settings.exclusive;
  request.readOnly = readOnly.isLogical() && readOnly.asLogical();
  request.codePage = codePage.isText() ? codePage.asText() : std::string();
  if (!a->openTable(request)) {
    rt().netErr = true;
    a->closeTable();
    releaseClosed(r, r.current());
  }
  return Value();
}

Value DBCLOSEAREA() {
  AreaRegistry& r = areas();
  if (WorkArea* a = r.currentArea()) {
    a->closeTable();
    releaseClosed(r, r.current());
  }
  return Value();
}

Value DBCLOSEALL() {
  AreaRegistry& r = areas();
  std::vector<int> numbers;
  for (const auto& [n, a] : r.areas()) numbers.push_back(n);
  for (int n : numbers)
    if (WorkArea* a = r.area(n)) a->closeTable();
  for (int n : numbers) releaseClosed(r, n);
  r.select(1);
  return Value();
}

Value NETERR(const Value& newValue) {
  if (newValue.isLogical()) rt().netErr = newValue.asLogical();
  return Value::logical(rt().netErr);
}

Value __RDDSETDEFAULT(const Value& driver) {
  AreaRegistry& r = areas();
  const std::string previous = r.defaultDriver;
  if (driver.isText() && !driver.asText().empty()) r.defaultDriver = upperAscii(driver.asText()).substr(0, 32);
  return Value::text(previous);
}

Value DBGOTOP() {
  if (WorkArea* a = requireTable("DBGOTOP")) a->goFirst();
  return Value();
}

Value DBGOBOTTOM() {
  if (WorkArea* a = requireTable("DBGOBOTTOM")) a->goLast();
  return Value();
}

Value DBGOTO(const Value& n) {
  if (WorkArea* a = requireTable("DBGOTO")) {
    if (n.isNil()) {
      raise(makeError(kSubsystem, gen::ArgumentError, 1003, "DBGOTO"));
      return Value();
    }
    a->goToIdentity(n);
  }
  return Value();
}

Value DBGOTO() { return DBGOTO(Value()); }

Value DBSKIP(const Value& n) {
  if (WorkArea* a = requireTable("DBSKIP")) a->skipBy(numberOr(n, 1));
  return Value();
}

Value BOF() {
  WorkArea* a = currentArea();
  return Value::logical(a ? a->bof() : true);
}

Value EOF_() {
  WorkArea* a = currentArea();
  return Value::logical(a ? a->eof() : true);
}

Value FOUND() {
  WorkArea* a = currentArea();
  return Value::logical(a ? a->found() : false);
}

Value DELETED() {
  WorkArea* a = currentArea();
  bool d = false;
  if (a) a->readDeleted(d);
  return Value::logical(d);
}

Value RECNO() {
  WorkArea* a = currentArea();
  return Value::integer(a ? a->currentRecord() : 0, 7);
}

Value LASTREC() {
  WorkArea* a = currentArea();
  return Value::integer(a ? a->countRecords() : 0, 7);
}

Value RECCOUNT() { return LASTREC(); }

Value DBAPPEND(const Value& unlockOthers) {
  rt().netErr = false;
  if (WorkArea* a = requireTable("DBAPPEND"))
    if (!a->appendBlank(unlockOthers.isLogical() ? unlockOthers.asLogical() : true)) rt().netErr = true;
  return Value();
}

Value DBDELETE() {
  if (WorkArea* a = requireTable("DBDELETE")) a->markDeleted();
  return Value();
}

Value DBRECALL() {
  if (WorkArea* a = requireTable("DBRECALL")) a->unmarkDeleted();
  return Value();
}

Value FCOUNT() {
  WorkArea* a = currentArea();
  return Value::integer(a ? a->countFields() : 0);
}

Value FIELDGET(const Value& n) {
  WorkArea* a = currentArea();
  if (!a || !n.isNumber()) return Value();
  const int pos = static_cast<int>(n.asDouble());
  if (pos < 1 || pos > a->countFields()) return Value();
  Value v;
  a->readField(pos, v);
  return v;
}

Value FIELDPUT(const Value& n, const Value& v) {
  WorkArea* a = currentArea();
  if (!a || !n.isNumber()) return Value();
  const int pos = static_cast<int>(n.asDouble());
  if (pos < 1 || pos > a->countFields()) return Value();
  return a->writeField(pos, v) ? v : Value();
}

Value FIELDPOS(const Value& name) {
  WorkArea* a = currentArea();
  if (!a || !name.isText()) return Value::integer(0);
  return Value::integer(a->fieldPosition(name.asText()));
}

Value FIELDNAME(const Value& n) {
  WorkArea* a = currentArea();
  if (!a || !n.isNumber()) return Value::text("");
  const dbf::FieldDef* f = a->field(static_cast<int>(n.asDouble()));
  return Value::text(f ? f->name : std::string());
}

Value __DBLOCATE(const Value& forBlock, const Value& whileBlock, const Value& next, const Value& record,
                 const Value& rest) {
  WorkArea* a = currentArea();
  if (!a) {
    RuntimeError e = makeError(kSubsystem, gen::NoTable, 35, "__DBLOCATE");
    e.canDefault = true;
    raise(e);
    return Value();
  }
  a->setFound(false);
  auto holds = [](const Value& b) { return !b.isBlock() || truthy(b.call()); };
  if (record.isNumber()) {
    a->goToIdentity(record);
    if (!a->eof()) a->setFound(holds(whileBlock) && forBlock.isBlock() && truthy(forBlock.call()));
    return Value();
  }
  if (!whileBlock.isBlock() && !next.isNumber() && !truthy(rest)) a->goFirst();
  int64_t left = next.isNumber() ? static_cast<int64_t>(next.asDouble()) : -1;
  while (!a->eof() && left != 0) {
    if (!holds(whileBlock)) break;
    if (forBlock.isBlock() && truthy(forBlock.call())) {
      a->setFound(true);
      return Value();
    }
    if (left > 0) --left;
    a->skipBy(1);
  }
  a->setFound(false);
  return Value();
}

Value RLOCK() {
  WorkArea* a = requireTable("RLOCK");
  if (!a) return Value::logical(false);
  bool locked = false;
  a->requestLock(1, a->currentRecord(), locked);
  return Value::logical(locked);
}

Value LOCK() {
  WorkArea* a = requireTable("LOCK");
  if (!a) return Value::logical(false);
  bool locked = false;
  a->requestLock(1, a->currentRecord(), locked);
  return Value::logical(locked);
}

Value FLOCK() {
  WorkArea* a = requireTable("FLOCK");
  if (!a) return Value::logical(false);
  bool locked = false;
  a->requestLock(3, 0, locked);
  return Value::logical(locked);
}

Value DBUNLOCK() {
  if (WorkArea* a = requireTable("DBUNLOCK")) a->releaseLocks(0);
  return Value();
}

Value DBCOMMIT() {
  if (WorkArea* a = requireTable("DBCOMMIT")) a->flushArea();
  return Value();
}

Value DBCOMMITALL() {
  AreaRegistry& r = areas();
  for (const auto& [n, a] : r.areas())
    if (a) a->flushArea();
  return Value();
}

Value DBSETFILTER(const Value& block) {
  if (WorkArea* a = requireTable("DBSETFILTER")) a->setFilter(block.isBlock() ? block : Value());
  return Value();
}

}  // namespace talvor
