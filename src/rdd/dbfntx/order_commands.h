// The order commands: index creation, the order list, focus, order information
// and the key search, on the current work area.
#pragma once

#include "services/value.h"

namespace talvor {

Value DBCREATEINDEX(const Value& bag, const Value& keyText, const Value& keyBlock = {}, const Value& unique = {},
                    const Value& orderName = {});
Value ORDCREATE(const Value& bag, const Value& orderName, const Value& keyText, const Value& keyBlock = {},
                const Value& unique = {});
Value ORDBAGEXT();
Value ORDLISTADD(const Value& bag, const Value& orderName = {});
Value DBSETINDEX(const Value& bag);
Value ORDLISTCLEAR();
// Rebuilds every open order of the area from its table; NIL.
Value ORDLISTREBUILD();
Value DBREINDEX();
Value DBCLEARINDEX();
// Returns the name of the order that controlled before; 0 or a non-text 0 = none.
Value ORDSETFOCUS(const Value& order = {}, const Value& bag = {});
Value DBSETORDER(const Value& order);
Value INDEXORD();
Value ORDKEY(const Value& order = {}, const Value& bag = {});
Value INDEXKEY(const Value& position = {});
Value ORDNAME(const Value& position = {});
// The found flag after the seek; false when the seek failed.
Value DBSEEK(const Value& key, const Value& soft = {}, const Value& last = {});

}  // namespace talvor
