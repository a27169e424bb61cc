#include "services/arith.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "services/error.h"
#include "services/runtime.h"

namespace talvor {

namespace {

// Raises an operator's argument error; the answer's substitute value (or NIL
// after a default) is the result. A retry checks the same operands again.
Value operandError(const char* op, const Value& a, const Value& b) {
  RuntimeError e = makeError("BASE", gen::ArgumentError, 0, op);
  e.canSubstitute = true;
  e.args = {a, b};
  for (;;) {
    ErrorAnswer answer = raise(e);
    if (answer.action == Answer::Substitute) return answer.value;
    if (answer.action == Answer::Default) return Value();
  }
}

Value zeroDivisor(const char* op, const Value& a, const Value& b) {
  RuntimeError e = makeError("BASE", gen::ZeroDivisor, 0, op);
  e.canSubstitute = true;
  e.canDefault = true;
  e.args = {a, b};
  for (;;) {
    ErrorAnswer answer = raise(e);
    if (answer.action == Answer::Retry) continue;
    if (answer.action == Answer::Substitute && answer.value.isNumber()) return answer.value;
    return Value::integer(0);
  }
}

int integerWidth(const Number& a, const Number& b) { return std::max(a.width, b.width); }

Value realResult(double v, int width, int decimals) { return Value::real(v, width, decimals); }

// A whole result when both operands are whole and the result fits, else a double.
template <class WholeOp, class RealOp>
Value numeric(const Number& x, const Number& y, WholeOp wholeOp, RealOp realOp, int decimals) {
  if (!x.isDouble && !y.isDouble) {
    int64_t r = 0;
    if (!wholeOp(x.whole, y.whole, &r)) return Value::integer(r, integerWidth(x, y));
  }
  return realResult(realOp(x.asDouble(), y.asDouble()), integerWidth(x, y), decimals);
}

int64_t dayOf(const Value& v) { return v.asDay(); }

}  // namespace

Value plus(const Value& a, const Value& b) {
  if (a.isNumber() && b.isNumber()) {
    const Number &x = a.asNumber(), &y = b.asNumber();
    return numeric(x, y, [](int64_t p, int64_t q, int64_t* r) { return __builtin_add_overflow(p, q, r); },
                   [](double p, double q) { return p + q; }, std::max(x.decimals, y.decimals));
  }
  if (a.isText() && b.isText()) return Value::text(a.asText() + b.asText());
  if (a.isDate() && b.isNumber()) return Value::date(dayOf(a) + static_cast<int64_t>(b.asDouble()));
  if (a.isNumber() && b.isDate()) return Value::date(dayOf(b) + static_cast<int64_t>(a.asDouble()));
  return operandError("+", a, b);
}

Value minus(const Value& a, const Value& b) {
  if (a.isNumber() && b.isNumber()) {
    const Number &x = a.asNumber(), &y = b.asNumber();
    return numeric(x, y, [](int64_t p, int64_t q, int64_t* r) { return __builtin_sub_overflow(p, q, r); },
                   [](double p, double q) { return p - q; }, std::max(x.decimals, y.decimals));
  }
  if (a.isText() && b.isText()) {
    const std::string& left = a.asText();
    std::size_t end = left.size();
    while (end > 0 && left[end - 1] == ' ') --end;
    return Value::text(left.substr(0, end) + b.asText() + std::string(left.size() - end, ' '));
  }
  if (a.isDate() && b.isNumber()) return Value::date(dayOf(a) - static_cast<int64_t>(b.asDouble()));
  if (a.isDate() && b.isDate()) return Value::integer(dayOf(a) - dayOf(b));
  return operandError("-", a, b);
}

Value times(const Value& a, const Value& b) {
  if (!a.isNumber() || !b.isNumber()) return operandError("*", a, b);
  const Number &x = a.asNumber(), &y = b.asNumber();
  return numeric(x, y, [](int64_t p, int64_t q, int64_t* r) { return __builtin_mul_overflow(p, q, r); },
                 [](double p, double q) { return p * q; }, x.decimals + y.decimals);
}

Value divide(const Value& a, const Value& b) {
  if (!a.isNumber() || !b.isNumber()) return operandError("/", a, b);
  if (b.asDouble() == 0) return zeroDivisor("/", a, b);
  const Number &x = a.asNumber(), &y = b.asNumber();
  if (!x.isDouble && !y.isDouble && y.whole != 0 && x.whole % y.whole == 0 &&
      !(x.whole == std::numeric_limits<int64_t>::min() && y.whole == -1))
    return realResult(static_cast<double>(x.whole / y.whole), integerWidth(x, y), rt().settings.decimals);
  return realResult(x.asDouble() / y.asDouble(), integerWidth(x, y), rt().settings.decimals);
}

Value modulo(const Value& a, const Value& b) {
  if (!a.isNumber() || !b.isNumber()) return operandError("%", a, b);
  if (b.asDouble() == 0) return zeroDivisor("%", a, b);
  const Number &x = a.asNumber(), &y = b.asNumber();
  if (!x.isDouble && !y.isDouble && y.whole != -1) return Value::integer(x.whole % y.whole, integerWidth(x, y));
  return realResult(std::fmod(x.asDouble(), y.asDouble()), integerWidth(x, y), std::max(x.decimals, y.decimals));
}

Value negate(const Value& a) {
  if (!a.isNumber()) return operandError("-", a, Value());
  Number n = a.asNumber();
  if (!n.isDouble && n.whole != std::numeric_limits<int64_t>::min()) {
    n.whole = -n.whole;
  } else {
    n.real = -n.asDouble();
    n.isDouble = true;
  }
  return Value::number(n);
}

int compareValues(const Value& a, const Value& b, bool exact) {
  auto sign = [](auto d) { return d < 0 ? -1 : d > 0 ? 1 : 0; };
  if (a.isText() && b.isText()) {
    std::string_view x = a.asText(), y = b.asText();
    if (!exact && x.size() >= y.size()) x = x.substr(0, y.size());
    const int c = x.compare(y);
    return sign(c);
  }
  if (a.isNumber() && b.isNumber()) {
    const Number &x = a.asNumber(), &y = b.asNumber();
    if (!x.isDouble && !y.isDouble) return sign(x.whole < y.whole ? -1 : x.whole > y.whole ? 1 : 0);
    return sign(x.asDouble() - y.asDouble());
  }
  if (a.isDate() && b.isDate()) return sign(a.asDay() - b.asDay());
  if (a.isLogical() && b.isLogical()) return sign(static_cast<int>(a.asLogical()) - static_cast<int>(b.asLogical()));
  if (a.isNil() && b.isNil()) return 0;
  const Value r = operandError(exact ? "==" : "=", a, b);
  return r.isNumber() ? sign(r.asDouble()) : 0;
}

}  // namespace talvor
