// The run-time's value functions, as programs and expressions call them: values
// in, a value out. A function given a value of a kind it does not take raises
// "Argument error" (BASE, operation the function's name, substitute allowed); the
// handler's substitute value is then the result (NIL after a default answer).
#pragma once

#include "services/value.h"

namespace talvor {

Value STR(const Value& number, const Value& width = {}, const Value& decimals = {});
Value STRZERO(const Value& number, const Value& width = {}, const Value& decimals = {});
Value VAL(const Value& text);
Value CTOD(const Value& text);
Value DTOC(const Value& date);
Value DTOS(const Value& date);
Value TRIM(const Value& text);
Value RTRIM(const Value& text);
Value LTRIM(const Value& text);
Value ALLTRIM(const Value& text);
Value SUBSTR(const Value& text, const Value& start, const Value& length = {});
Value LEFT(const Value& text, const Value& count);
Value RIGHT(const Value& text, const Value& count);
Value AT(const Value& sought, const Value& text);
Value UPPER(const Value& text);
Value LOWER(const Value& text);
Value PADR(const Value& value, const Value& length, const Value& fill = {});
Value PADL(const Value& value, const Value& length, const Value& fill = {});
Value SPACE(const Value& count);
Value REPLICATE(const Value& text, const Value& count);
Value CHR(const Value& code);
Value ASC(const Value& text);
Value LEN(const Value& value);
Value EMPTY(const Value& value);
Value VALTYPE(const Value& value);
Value INT(const Value& number);
Value ROUND(const Value& number, const Value& decimals);
Value ABS(const Value& number);
Value DATE();
Value YEAR(const Value& date);
Value MONTH(const Value& date);
Value DAY(const Value& date);
// The century display setting; a logical argument sets it first.
Value __SETCENTURY(const Value& on = {});
Value ENCRYPT(const Value& text, const Value& key = {});
Value DECRYPT(const Value& text, const Value& key = {});

}  // namespace talvor
