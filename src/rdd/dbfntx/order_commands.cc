#include "rdd/dbfntx/order_commands.h"

#include "rdd/area_registry.h"
#include "rdd/db_commands.h"
#include "rdd/ntx_area.h"
#include "services/runtime.h"
#include "services/text.h"

#include <cstdlib>

namespace talvor {

namespace {

constexpr char kSubsystem[] = "DBCMD";

NtxArea* ordersOf(const char* function) { return dynamic_cast<NtxArea*>(requireTable(function)); }

std::string textOr(const Value& v) { return v.isText() ? v.asText() : std::string(); }

// The position of an order given by position or name; 0 = the controlling order.
int orderPosition(const NtxArea& area, const Value& order) {
  if (order.isNumber()) return static_cast<int>(order.asDouble());
  if (order.isText()) {
    const auto& orders = area.orders();
    for (std::size_t i = 0; i < orders.size(); ++i)
      if (equalsIgnoreCase(orders[i].name, order.asText())) return static_cast<int>(i + 1);
    return -1;
  }
  return 0;
}

const NtxOrder* orderAt(const NtxArea& area, const Value& order) {
  int pos = orderPosition(area, order);
  if (pos == 0) pos = area.focus();
  if (pos < 1 || pos > static_cast<int>(area.orders().size())) return nullptr;
  return &area.orders()[static_cast<std::size_t>(pos - 1)];
}

}  // namespace

Value ORDCREATE(const Value& bag, const Value& orderName, const Value& keyText, const Value& keyBlock,
                const Value& unique) {
  NtxArea* area = ordersOf("ORDCREATE");
  if (!area) return Value();
  if (textOr(bag).empty() && textOr(orderName).empty()) {
    raise(makeError(kSubsystem, gen::ArgumentError, 1006, "ORDCREATE"));
    return Value();
  }
  if (!keyText.isText()) {
    raise(makeError(kSubsystem, gen::ArgumentError, 1006, "ORDCREATE"));
    return Value();
  }
  const bool isUnique = unique.isLogical() ? unique.asLogical() : rt().settings.unique;
  area->orderCreate(textOr(bag), keyText.asText(), keyBlock, isUnique, textOr(orderName));
  return Value();
}

Value DBCREATEINDEX(const Value& bag, const Value& keyText, const Value& keyBlock, const Value& unique,
                    const Value& orderName) {
  return ORDCREATE(bag, orderName, keyText, keyBlock, unique);
}

Value ORDBAGEXT() { return Value::text(".ntx"); }

Value ORDLISTADD(const Value& bag, const Value&) {
  NtxArea* area = ordersOf("ORDLISTADD");
  if (!area) return Value();
  if (!bag.isText()) {
    raise(makeError(kSubsystem, gen::ArgumentError, 1006, "ORDLISTADD"));
    return Value();
  }
  const bool hadNone = area->orders().empty();
  if (area->orderListAdd(bag.asText()) && hadNone) {
    area->setFocus(1);
    area->goFirst();
  }
  return Value();
}

Value DBSETINDEX(const Value& bag) { return ORDLISTADD(bag); }

Value ORDLISTCLEAR() {
  if (NtxArea* area = ordersOf("ORDLISTCLEAR")) area->orderListClear();
  return Value();
}

Value DBCLEARINDEX() { return ORDLISTCLEAR(); }

Value ORDLISTREBUILD() {
  if (NtxArea* area = ordersOf("ORDLISTREBUILD")) {
    area->orderListRebuild();
    area->goFirst();
  }
  return Value();
}

Value DBREINDEX() { return ORDLISTREBUILD(); }

Value ORDSETFOCUS(const Value& order, const Value&) {
  NtxArea* area = ordersOf("ORDSETFOCUS");
  if (!area) return Value::text("");
  const NtxOrder* before = orderAt(*area, Value());
  const std::string previous = before ? before->name : std::string();
  if (order.isNil()) return Value::text(previous);
  const int pos = orderPosition(*area, order);
  if (pos >= 0 && pos <= static_cast<int>(area->orders().size())) area->setFocus(pos);
  return Value::text(previous);
}

Value DBSETORDER(const Value& order) {
  if (order.isText()) {
    const double n = std::atof(order.asText().c_str());
    if (n != 0) return ORDSETFOCUS(Value::integer(static_cast<int64_t>(n))), Value();
  }
  ORDSETFOCUS(order);
  return Value();
}

Value INDEXORD() {
  const auto* area = dynamic_cast<NtxArea*>(currentArea());
  return Value::integer(area ? area->focus() : 0);
}

Value ORDKEY(const Value& order, const Value&) {
  NtxArea* area = ordersOf("ORDKEY");
  if (!area) return Value::text("");
  const NtxOrder* o = orderAt(*area, order);
  return Value::text(o ? o->keyText : std::string());
}

Value INDEXKEY(const Value& position) {
  if (!currentArea() && position.isNumber()) return Value::text("");
  return ORDKEY(position);
}

Value ORDNAME(const Value& position) {
  NtxArea* area = ordersOf("ORDNAME");
  if (!area) return Value::text("");
  const NtxOrder* o = orderAt(*area, position);
  return Value::text(o ? o->name : std::string());
}

Value DBSEEK(const Value& key, const Value& soft, const Value& last) {
  WorkArea* area = requireTable("DBSEEK");
  if (!area) return Value::logical(false);
  if (key.isNil()) {
    raise(makeError(kSubsystem, gen::ArgumentError, 1001, "DBSEEK"));
    return Value::logical(false);
  }
  const bool softSeek = soft.isLogical() ? soft.asLogical() : rt().settings.softSeek;
  if (!area->seekKey(key, softSeek, last.isLogical() && last.asLogical())) return Value::logical(false);
  return Value::logical(area->found());
}

}  // namespace talvor
