#include "services/functions.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <string>

#include "services/cipher.h"
#include "services/conversions.h"
#include "services/dates.h"
#include "services/error.h"
#include "services/runtime.h"
#include "services/text.h"

namespace talvor {

namespace {

// Raises the function's argument error and gives the handler's substitute (NIL
// after a default). A retry checks the same arguments again, so it raises again.
Value argumentError(const char* function, std::initializer_list<Value> args) {
  RuntimeError e = makeError("BASE", gen::ArgumentError, 0, function);
  e.canSubstitute = true;
  e.args.assign(args.begin(), args.end());
  for (;;) {
    ErrorAnswer answer = raise(e);
    if (answer.action == Answer::Substitute) return answer.value;
    if (answer.action == Answer::Default) return Value();
  }
}

bool optionalNumber(const Value& v) { return v.isNil() || v.isNumber(); }
int64_t whole(const Value& v) { return static_cast<int64_t>(v.asDouble()); }
int64_t wholeOr(const Value& v, int64_t fallback) { return v.isNumber() ? whole(v) : fallback; }

std::string padText(const Value& v) {
  switch (v.kind()) {
    case Kind::Text: return v.asText();
    case Kind::Number: return allTrim(formatNumberDefault(v.asNumber()));
    case Kind::Date: return DTOC(v).asText();
    case Kind::Logical: return v.asLogical() ? "T" : "F";
    default: return std::string();
  }
}

int dayPart(const Value& date, int which) {
  int y, m, d;
  ymdFromDay(date.asDay(), y, m, d);
  return which == 0 ? y : which == 1 ? m : d;
}

}  // namespace

Value STR(const Value& number, const Value& width, const Value& decimals) {
  if (!number.isNumber() || !optionalNumber(width) || !optionalNumber(decimals))
    return argumentError("STR", {number, width, decimals});
  if (width.isNil()) return Value::text(formatNumberDefault(number.asNumber()));
  return Value::text(formatNumber(number.asNumber(), static_cast<int>(whole(width)),
                                  static_cast<int>(wholeOr(decimals, 0))));
}

Value STRZERO(const Value& number, const Value& width, const Value& decimals) {
  Value s = STR(number, width, decimals);
  if (!s.isText()) return s;
  std::string text = s.asText();
  if (text.find('*') != std::string::npos) return s;
  const std::size_t minus = text.find('-');
  if (minus != std::string::npos) text[minus] = ' ';
  for (char& c : text)
    if (c == ' ') c = '0';
  if (minus != std::string::npos) text[0] = '-';
  return Value::text(text);
}

Value VAL(const Value& text) {
  if (!text.isText()) return argumentError("VAL", {text});
  return Value::number(parseVal(text.asText()));
}

Value CTOD(const Value& text) {
  if (!text.isText()) return argumentError("CTOD", {text});
  return Value::date(parseDate(text.asText(), rt().settings.dateFormat, rt().settings.epoch));
}

Value DTOC(const Value& date) {
  if (!date.isDate()) return argumentError("DTOC", {date});
  std::string format = rt().settings.dateFormat;
  int y, m, d;
  ymdFromDay(date.asDay(), y, m, d);
  const bool empty = date.asDay() == 0;
  // Each run of d, m or y letters takes the last digits of its part.
  std::string out = format;
  auto fill = [&](char letter, int value) {
    std::size_t pos = 0;
    while ((pos = lowerAscii(out).find(letter, pos)) != std::string::npos) {
      std::size_t end = pos;
      while (end < out.size() && (out[end] == letter || out[end] == letter - 'a' + 'A')) ++end;
      std::string digits = std::to_string(value);
      const std::size_t n = end - pos;
      if (digits.size() < n) digits.insert(0, n - digits.size(), '0');
      digits = digits.substr(digits.size() - n);
      for (std::size_t i = 0; i < n; ++i) out[pos + i] = empty ? ' ' : digits[i];
      pos = end;
    }
  };
  fill('d', d);
  fill('m', m);
  fill('y', y);
  return Value::text(out);
}

Value DTOS(const Value& date) {
  if (!date.isDate()) return argumentError("DTOS", {date});
  return Value::text(dayToDigits(date.asDay()));
}

Value TRIM(const Value& text) {
  if (!text.isText()) return argumentError("TRIM", {text});
  return Value::text(trimRight(text.asText()));
}

Value RTRIM(const Value& text) {
  if (!text.isText()) return argumentError("RTRIM", {text});
  return Value::text(trimRight(text.asText()));
}

Value LTRIM(const Value& text) {
  if (!text.isText()) return argumentError("LTRIM", {text});
  const std::string& s = text.asText();
  std::size_t begin = 0;
  while (begin < s.size() && (s[begin] == ' ' || s[begin] == '\t' || s[begin] == '\n' || s[begin] == '\r')) ++begin;
  return Value::text(s.substr(begin));
}

Value ALLTRIM(const Value& text) {
  if (!text.isText()) return argumentError("ALLTRIM", {text});
  return Value::text(allTrim(text.asText()));
}

Value SUBSTR(const Value& text, const Value& start, const Value& length) {
  if (!text.isText() || !start.isNumber() || !optionalNumber(length))
    return argumentError("SUBSTR", {text, start, length});
  const std::string& s = text.asText();
  const int64_t size = static_cast<int64_t>(s.size());
  int64_t from = whole(start);
  if (from == 0) from = 1;
  if (from < 0) from = std::max<int64_t>(size + from + 1, 1);
  if (from > size) return Value::text("");
  int64_t count = length.isNil() ? size - from + 1 : whole(length);
  if (count <= 0) return Value::text("");
  count = std::min(count, size - from + 1);
  return Value::text(s.substr(static_cast<std::size_t>(from - 1), static_cast<std::size_t>(count)));
}

Value LEFT(const Value& text, const Value& count) {
  if (!text.isText() || !count.isNumber()) return argumentError("LEFT", {text, count});
  const int64_t n = std::clamp<int64_t>(whole(count), 0, static_cast<int64_t>(text.asText().size()));
  return Value::text(text.asText().substr(0, static_cast<std::size_t>(n)));
}

Value RIGHT(const Value& text, const Value& count) {
  if (!text.isText() || !count.isNumber()) return argumentError("RIGHT", {text, count});
  const std::string& s = text.asText();
  const int64_t n = std::clamp<int64_t>(whole(count), 0, static_cast<int64_t>(s.size()));
  return Value::text(s.substr(s.size() - static_cast<std::size_t>(n)));
}

Value AT(const Value& sought, const Value& text) {
  if (!sought.isText() || !text.isText()) return argumentError("AT", {sought, text});
  if (sought.asText().empty()) return Value::integer(0);
  const std::size_t pos = text.asText().find(sought.asText());
  return Value::integer(pos == std::string::npos ? 0 : static_cast<int64_t>(pos) + 1);
}

Value UPPER(const Value& text) {
  if (!text.isText()) return argumentError("UPPER", {text});
  return Value::text(upperAscii(text.asText()));
}

Value LOWER(const Value& text) {
  if (!text.isText()) return argumentError("LOWER", {text});
  return Value::text(lowerAscii(text.asText()));
}

Value PADR(const Value& value, const Value& length, const Value& fill) {
  if (!length.isNumber() || !(fill.isNil() || fill.isText())) return argumentError("PADR", {value, length, fill});
  const std::size_t n = static_cast<std::size_t>(std::max<int64_t>(whole(length), 0));
  const char f = fill.isText() && !fill.asText().empty() ? fill.asText()[0] : ' ';
  std::string s = padText(value);
  s.resize(n, f);
  return Value::text(s);
}

Value PADL(const Value& value, const Value& length, const Value& fill) {
  if (!length.isNumber() || !(fill.isNil() || fill.isText())) return argumentError("PADL", {value, length, fill});
  const std::size_t n = static_cast<std::size_t>(std::max<int64_t>(whole(length), 0));
  const char f = fill.isText() && !fill.asText().empty() ? fill.asText()[0] : ' ';
  std::string s = padText(value);
  if (s.size() >= n) return Value::text(s.substr(s.size() - n));
  return Value::text(std::string(n - s.size(), f) + s);
}

Value SPACE(const Value& count) {
  if (!count.isNumber()) return argumentError("SPACE", {count});
  return Value::text(std::string(static_cast<std::size_t>(std::max<int64_t>(whole(count), 0)), ' '));
}

Value REPLICATE(const Value& text, const Value& count) {
  if (!text.isText() || !count.isNumber()) return argumentError("REPLICATE", {text, count});
  std::string out;
  for (int64_t i = 0; i < whole(count); ++i) out += text.asText();
  return Value::text(out);
}

Value CHR(const Value& code) {
  if (!code.isNumber()) return argumentError("CHR", {code});
  return Value::text(std::string(1, static_cast<char>(static_cast<uint8_t>(whole(code) & 0xFF))));
}

Value ASC(const Value& text) {
  if (!text.isText()) return argumentError("ASC", {text});
  const std::string& s = text.asText();
  return Value::integer(s.empty() ? 0 : static_cast<uint8_t>(s[0]));
}

Value LEN(const Value& value) {
  if (value.isText()) return Value::integer(static_cast<int64_t>(value.asText().size()));
  if (value.isArray()) return Value::integer(static_cast<int64_t>(value.asArray().size()));
  return argumentError("LEN", {value});
}

Value EMPTY(const Value& value) {
  switch (value.kind()) {
    case Kind::Nil: return Value::logical(true);
    case Kind::Text: return Value::logical(isEmptyText(value.asText()));
    case Kind::Number: return Value::logical(value.asDouble() == 0);
    case Kind::Date: return Value::logical(value.asDay() == 0);
    case Kind::Logical: return Value::logical(!value.asLogical());
    case Kind::Array: return Value::logical(value.asArray().empty());
    case Kind::Block: return Value::logical(false);
  }
  return Value::logical(true);
}

Value VALTYPE(const Value& value) { return Value::text(std::string(1, value.typeLetter())); }

Value INT(const Value& number) {
  if (!number.isNumber()) return argumentError("INT", {number});
  const Number& n = number.asNumber();
  if (!n.isDouble) return number;
  const double t = std::trunc(n.real);
  if (std::fabs(t) < 9.2e18) return Value::integer(static_cast<int64_t>(t), n.width);
  return Value::real(t, n.width, 0);
}

Value ROUND(const Value& number, const Value& decimals) {
  if (!number.isNumber() || !decimals.isNumber()) return argumentError("ROUND", {number, decimals});
  const int d = static_cast<int>(std::max<int64_t>(whole(decimals), 0));
  const std::string text = formatNumber(number.asNumber(), 60, d);
  if (text.find('*') != std::string::npos) return number;
  return Value::real(std::strtod(text.c_str(), nullptr), number.asNumber().width, d);
}

Value ABS(const Value& number) {
  if (!number.isNumber()) return argumentError("ABS", {number});
  Number n = number.asNumber();
  if (!n.isDouble && n.whole < 0 && n.whole != INT64_MIN) n.whole = -n.whole;
  if (n.isDouble) n.real = std::fabs(n.real);
  return Value::number(n);
}

Value DATE() { return Value::date(todayDay()); }

Value YEAR(const Value& date) {
  if (!date.isDate()) return argumentError("YEAR", {date});
  return Value::integer(dayPart(date, 0), 5);
}

Value MONTH(const Value& date) {
  if (!date.isDate()) return argumentError("MONTH", {date});
  return Value::integer(dayPart(date, 1), 3);
}

Value DAY(const Value& date) {
  if (!date.isDate()) return argumentError("DAY", {date});
  return Value::integer(dayPart(date, 2), 3);
}

Value __SETCENTURY(const Value& on) {
  const bool previous = rt().settings.century;
  if (on.isLogical()) rt().settings.century = on.asLogical();
  return Value::logical(previous);
}

Value ENCRYPT(const Value& text, const Value& key) {
  if (!text.isText() || text.asText().empty()) return Value::text("");
  const std::string* k = key.isText() ? &key.asText() : nullptr;
  return Value::text(encryptText(text.asText(), k));
}

Value DECRYPT(const Value& text, const Value& key) {
  if (!text.isText() || text.asText().empty()) return Value::text("");
  const std::string* k = key.isText() ? &key.asText() : nullptr;
  return Value::text(decryptText(text.asText(), k));
}

}  // namespace talvor
