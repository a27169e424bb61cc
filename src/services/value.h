// The run-time's one value type: NIL, text, number, date, logical, array, code block.
//
// Text is a sequence of bytes (0-255, no encoding). Numbers are a 64-bit whole
// number or a double, each carrying a display width and a count of decimals.
// Dates are day numbers (0 = the empty date). Arrays and code blocks are shared by
// reference, as in the language: copying a Value copies the reference.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace talvor {

enum class Kind : uint8_t { Nil, Text, Number, Date, Logical, Array, Block };

// A number with its display format, as the run-time keeps it: `width` is the
// number of integer positions (sign included) and `decimals` the digits after the
// point, so the text form without a given width is width + decimals + 1 long when
// there are decimals, else width long (a field N(8,2) reads as width 5, decimals 2).
struct Number {
  bool isDouble = false;
  int64_t whole = 0;   // valid when !isDouble
  double real = 0.0;   // valid when isDouble
  int width = 10;
  int decimals = 0;

  double asDouble() const { return isDouble ? real : static_cast<double>(whole); }
};

struct Date {
  int64_t day = 0;  // day number; 0 is the empty date
  bool operator==(const Date&) const = default;
};

class Value;
using ValueArray = std::vector<Value>;
using BlockFn = std::function<Value(std::span<const Value>)>;

class Value {
 public:
  Value() = default;
  static Value text(std::string s) { return Value(std::move(s)); }
  static Value text(std::string_view s) { return Value(std::string(s)); }
  static Value text(const char* s) { return Value(std::string(s)); }
  // Whole number; the default width is 10 as for any whole number the run-time makes.
  static Value integer(int64_t n, int width = 10) {
    Number num;
    num.whole = n;
    num.width = width;
    return Value(num);
  }
  static Value real(double d, int width = 10, int decimals = 0) {
    Number num;
    num.isDouble = true;
    num.real = d;
    num.width = width;
    num.decimals = decimals;
    return Value(num);
  }
  static Value number(Number n) { return Value(n); }
  static Value date(int64_t day) { return Value(Date{day}); }
  static Value logical(bool b) { return Value(b); }
  static Value array(ValueArray items = {}) {
    return Value(std::make_shared<ValueArray>(std::move(items)));
  }
  static Value block(BlockFn fn) { return Value(std::make_shared<BlockFn>(std::move(fn))); }

  Kind kind() const { return static_cast<Kind>(data_.index()); }
  bool isNil() const { return kind() == Kind::Nil; }
  bool isText() const { return kind() == Kind::Text; }
  bool isNumber() const { return kind() == Kind::Number; }
  bool isDate() const { return kind() == Kind::Date; }
  bool isLogical() const { return kind() == Kind::Logical; }
  bool isArray() const { return kind() == Kind::Array; }
  bool isBlock() const { return kind() == Kind::Block; }

  // Accessors: the caller checks the kind first.
  const std::string& asText() const { return std::get<std::string>(data_); }
  const Number& asNumber() const { return std::get<Number>(data_); }
  double asDouble() const { return asNumber().asDouble(); }
  int64_t asDay() const { return std::get<Date>(data_).day; }
  bool asLogical() const { return std::get<bool>(data_); }
  ValueArray& asArray() const { return *std::get<std::shared_ptr<ValueArray>>(data_); }
  const BlockFn& asBlock() const { return *std::get<std::shared_ptr<BlockFn>>(data_); }

  // Evaluates a code block with the given arguments.
  Value call(std::span<const Value> args = {}) const { return asBlock()(args); }

  // The language's one-letter type name: "C", "N", "D", "L", "A", "B", "U".
  char typeLetter() const;

 private:
  explicit Value(std::string s) : data_(std::move(s)) {}
  explicit Value(Number n) : data_(n) {}
  explicit Value(Date d) : data_(d) {}
  explicit Value(bool b) : data_(b) {}
  explicit Value(std::shared_ptr<ValueArray> a) : data_(std::move(a)) {}
  explicit Value(std::shared_ptr<BlockFn> b) : data_(std::move(b)) {}

  std::variant<std::monostate, std::string, Number, Date, bool, std::shared_ptr<ValueArray>,
               std::shared_ptr<BlockFn>>
      data_;
};

}  // namespace talvor
