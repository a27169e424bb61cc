#include "util/record_helpers.h"

#include <algorithm>

#include "rdd/db_commands.h"
#include "services/keyboard.h"
#include "services/runtime.h"
#include "util/statdspw.h"

namespace talvor {

namespace {

double numberOr(const Value& v, double fallback) { return v.isNumber() ? v.asDouble() : fallback; }

bool truthy(const Value& v) { return v.isLogical() && v.asLogical(); }

// One attempt at once; then, while the budget lasts, a pause of 0.2 seconds after
// every failed retry. The counter is a double compared with 0 exactly.
template <class Attempt>
bool retryWithin(const Value& budget, Attempt attempt) {
  if (attempt()) return true;
  const double w = numberOr(budget, 0);
  const bool unlimited = w == 0;
  double counter = 10 * w;
  while (unlimited || counter > 0) {
    if (attempt()) return true;
    INKEY(0.2);
    counter -= 0.2;
  }
  return false;
}

bool appendOnce() {
  DBAPPEND(Value::logical(true));
  return !truthy(NETERR());
}

bool lockOnce() { return truthy(RLOCK()); }

int currentSelection() { return static_cast<int>(SELECT().asDouble()); }

}  // namespace

Value ADDREC(const Value& budget) {
  ProcScope scope("ADDREC", 1);
  if (retryWithin(budget, appendOnce)) return Value::logical(true);
  STATDSPW(Value::text("Unable to add record."), Value::integer(2));
  return Value::logical(false);
}

Value RECLOCK(const Value& budget) {
  ProcScope scope("RECLOCK", 1);
  return Value::logical(retryWithin(budget, lockOnce));
}

Value DELREC() {
  ProcScope scope("DELREC", 1);
  if (truthy(RECLOCK(Value::integer(2)))) {
    DBDELETE();
    DBUNLOCK();
    return Value::logical(true);
  }
  STATDSPW(Value::text("Unable to delete record."), Value::integer(2));
  return Value::logical(false);
}

Value NETUSE(const Value& file, const Value& exclusive, const Value& attempts) {
  ProcScope scope("NETUSE", 1);
  double left = numberOr(attempts, 0);
  const bool unlimited = left == 0;
  const Value shared = Value::logical(!truthy(exclusive));
  while (unlimited || left > 0) {
    DBUSEAREA(Value::logical(false), Value(), file, Value(), shared, Value::logical(false));
    if (!truthy(NETERR())) return Value::logical(true);
    INKEY(1.0);
    left -= 1;
  }
  return Value::logical(false);
}

Value GETREC(const Value& recno, const Value& count) {
  ProcScope scope("GETREC", 1);
  ValueArray values;
  const Value remembered = RECNO();
  if (!ALIAS().asText().empty()) {
    DBGOTO(recno);
    const int n = static_cast<int>(numberOr(count, 0));
    for (int i = 1; i <= n; ++i) values.push_back(FIELDGET(Value::integer(i)));
    DBGOTO(remembered);
  }
  return Value::array(std::move(values));
}

void COPYREC(const Value& source, const Value& destination) {
  ProcScope scope("COPYREC", 1);
  const int remembered = currentSelection();
  DBSELECTAREA(source);
  DBSELECTAREA(destination);
  if (truthy(ADDREC(Value::integer(2))) && truthy(RECLOCK(Value::integer(2)))) {
    DBSELECTAREA(source);
    const int fields = static_cast<int>(FCOUNT().asDouble());
    for (int i = 1; i <= fields; ++i) {
      const Value name = FIELDNAME(Value::integer(i));
      const Value value = FIELDGET(Value::integer(i));
      DBSELECTAREA(destination);
      const Value pos = FIELDPOS(name);
      if (pos.asDouble() > 0 && truthy(RECLOCK(Value::integer(2)))) FIELDPUT(pos, value);
      DBSELECTAREA(source);
    }
    DBSELECTAREA(destination);
    DBUNLOCK();
  }
  DBSELECTAREA(Value::integer(remembered));
}

void UPDREC(const Value& source, const Value& destination) {
  ProcScope scope("UPDREC", 1);
  const int remembered = currentSelection();
  DBSELECTAREA(source);
  const double sourceFields = FCOUNT().asDouble();
  DBSELECTAREA(destination);
  const int bound = static_cast<int>(std::max(sourceFields, FCOUNT().asDouble()));
  if (truthy(RECLOCK(Value::integer(2)))) {
    DBSELECTAREA(source);
    for (int i = 1; i <= bound; ++i) {
      const Value name = FIELDNAME(Value::integer(i));
      if (name.asText().empty()) continue;
      const Value value = FIELDGET(Value::integer(i));
      DBSELECTAREA(destination);
      const Value pos = FIELDPOS(name);
      if (pos.asDouble() > 0 && FIELDGET(pos).typeLetter() == value.typeLetter()) FIELDPUT(pos, value);
      DBSELECTAREA(source);
    }
    DBSELECTAREA(destination);
    DBUNLOCK();
  }
  DBSELECTAREA(Value::integer(remembered));
}

}  // namespace talvor
