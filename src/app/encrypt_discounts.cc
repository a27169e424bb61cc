#include "app/encrypt_discounts.h"

#include "rdd/db_commands.h"
#include "services/functions.h"
#include "services/runtime.h"

namespace talvor {

namespace {

const Value kKey = Value::text("Wendal");

bool truthy(const Value& v) { return v.isLogical() && v.asLogical(); }

// The position of a field of the current area; a missing one raises "Variable
// does not exist" (0 after a default answer: reads give NIL, writes do nothing).
Value fieldPosition(const char* name) {
  for (;;) {
    Value pos = FIELDPOS(Value::text(name));
    if (pos.asDouble() > 0 || !truthy(USED())) return pos;
    RuntimeError e = makeError("BASE", gen::NoVariable, 1003, name);
    e.canRetry = true;
    if (raise(e).action != Answer::Retry) return pos;
  }
}

}  // namespace

void encryptDiscountTable(const std::string& table) {
  ProcScope scope("KORVEN", 1);
  DBSELECTAREA(Value::integer(0));
  DBUSEAREA(Value::logical(false), Value(), Value::text(table), Value(), Value::logical(false),
            Value::logical(false));
  DBGOTOP();
  const Value customer = fieldPosition("CUSTOMER");
  const Value discount = fieldPosition("DISCOUNT");
  const Value f1 = fieldPosition("F1");
  const Value f2 = fieldPosition("F2");
  while (!truthy(EOF_())) {
    FIELDPUT(f1, ENCRYPT(STR(FIELDGET(customer), Value::integer(6)), kKey));
    FIELDPUT(f2, ENCRYPT(STR(FIELDGET(discount), Value::integer(7), Value::integer(2)), kKey));
    FIELDPUT(customer, Value::integer(0));
    FIELDPUT(discount, Value::integer(0));
    DBSKIP(Value::integer(1));
  }
  DBCLOSEAREA();
}

void encryptDiscounts() {
  for (const char* table : {"metdisc", "findisc", "uomdisc"}) encryptDiscountTable(table);
}

}  // namespace talvor
