#include "services/expr/nodes.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "services/arith.h"
#include "services/error.h"
#include "services/expr/field_scope.h"
#include "services/runtime.h"
#include "services/text.h"


namespace talvor::expr {

namespace {

// Subcodes of the operator argument errors.
constexpr int kSubNot = 1077;
constexpr int kSubAnd = 1078;
constexpr int kSubOr = 1079;
constexpr int kSubIdentity = 1080;
constexpr int kSubPower = 1088;
constexpr int kSubContains = 1109;
constexpr int kSubIif = 1066;

// Raises an argument error for an operator and gives the handler's substitute, or NIL.
Value operatorError(int subCode, const char* op, ValueArray args) {
  RuntimeError e = makeError("BASE", gen::ArgumentError, subCode, op);
  e.args = std::move(args);
  e.canSubstitute = true;
  ErrorAnswer answer = raise(e);
  return answer.action == Answer::Substitute ? answer.value : Value();
}

class Literal final : public Node {
 public:
  explicit Literal(Value v) : value_(std::move(v)) {}
  Value eval() const override { return value_; }

 private:
  Value value_;
};

// A field or variable reference. The field position is looked up once per work
// area (and per table opened there) and kept, so that evaluating a key over a
// whole table costs no name lookup per record.
class NameRef final : public Node {
 public:
  NameRef(NameScope scope, std::string alias, std::string name)
      : scope_(scope),
        alias_(upperAscii(alias)),
        name_(upperAscii(name)),
        fieldName_(name_.substr(0, 10)) {}

  Value eval() const override {
    std::optional<RuntimeError> error;  // one error object, so that its tries count
    while (true) {
      FieldScope* fields = fieldScope();
      if (scope_ != NameScope::PublicOnly) {
        const int area = !alias_.empty() ? (fields ? fields->areaOf(alias_) : 0)
                                         : (fields ? fields->currentArea() : 0);
        if (area == 0 && !alias_.empty()) {
          if (auto given = raiseLookupError(error, gen::NoAlias, 1002, alias_)) return *given;
          continue;
        }
        if (area != 0) {
          const int index = fieldIndex(*fields, area);
          if (index > 0) return fields->readField(area, index);
        }
      }
      if (scope_ != NameScope::FieldOnly) {
        auto it = rt().publics.find(name_);
        if (it != rt().publics.end()) return it->second;
      }
      if (auto given = raiseLookupError(error, gen::NoVariable, 1003, name_)) return *given;
    }
  }

 private:
  int fieldIndex(FieldScope& fields, int area) const {
    const uint64_t serial = fields.tableSerial(area);
    if (&fields != cachedScope_ || area != cachedArea_ || serial != cachedSerial_) {
      cachedIndex_ = fields.fieldIndex(area, fieldName_);
      cachedScope_ = &fields;
      cachedArea_ = area;
      cachedSerial_ = serial;
    }
    return cachedIndex_;
  }

  // Raises the lookup error (the same object again when it is raised anew).
  // Nothing when the handler asks to look again; else the value to give.
  std::optional<Value> raiseLookupError(std::optional<RuntimeError>& error, int genCode,
                                        int subCode, const std::string& operation) const {
    if (!error || error->genCode != genCode) {
      error = makeError("BASE", genCode, subCode, operation);
      error->canRetry = true;
      error->canSubstitute = true;
    }
    ErrorAnswer answer = raise(*error);
    if (answer.action == Answer::Retry) {
      cachedArea_ = -1;
      return std::nullopt;
    }
    return answer.action == Answer::Substitute ? std::move(answer.value) : Value();
  }

  NameScope scope_;
  std::string alias_;      // upper case; "" = the current area
  std::string name_;       // upper case, as written (public variables)
  std::string fieldName_;  // name_ cut to the 10 characters a field name has
  mutable const FieldScope* cachedScope_ = nullptr;
  mutable int cachedArea_ = -1;
  mutable uint64_t cachedSerial_ = 0;
  mutable int cachedIndex_ = 0;
};

class Unary final : public Node {
 public:
  Unary(UnaryOp op, NodePtr operand) : op_(op), operand_(std::move(operand)) {}
  Value eval() const override {
    Value v = operand_->eval();
    switch (op_) {
      case UnaryOp::Negate:
        return negate(v);
      case UnaryOp::Identity:
        if (v.isNumber()) return v;
        return operatorError(kSubIdentity, "+", {v});
      case UnaryOp::Not:
        if (v.isLogical()) return Value::logical(!v.asLogical());
        return operatorError(kSubNot, ".NOT.", {v});
    }
    return Value();
  }

 private:
  UnaryOp op_;
  NodePtr operand_;
};

// base ** exponent: always a floating-point result with SET DECIMALS decimals.
Value power(const Value& base, const Value& exponent) {
  if (!base.isNumber() || !exponent.isNumber())
    return operatorError(kSubPower, "**", {base, exponent});
  const int decimals = rt().settings.decimals;
  return Value::real(std::pow(base.asDouble(), exponent.asDouble()), 10, decimals);
}

Value contains(const Value& needle, const Value& haystack) {
  if (!needle.isText() || !haystack.isText())
    return operatorError(kSubContains, "$", {needle, haystack});
  return Value::logical(haystack.asText().find(needle.asText()) != std::string::npos);
}

class Binary final : public Node {
 public:
  Binary(BinaryOp op, NodePtr left, NodePtr right)
      : op_(op), left_(std::move(left)), right_(std::move(right)) {}
  Value eval() const override {
    const Value a = left_->eval();
    const Value b = right_->eval();
    switch (op_) {
      case BinaryOp::Plus: return plus(a, b);
      case BinaryOp::Minus: return minus(a, b);
      case BinaryOp::Times: return times(a, b);
      case BinaryOp::Divide: return divide(a, b);
      case BinaryOp::Modulo: return modulo(a, b);
      case BinaryOp::Power: return power(a, b);
      case BinaryOp::Equal: return Value::logical(compareValues(a, b, false) == 0);
      case BinaryOp::ExactEqual: return Value::logical(compareValues(a, b, true) == 0);
      case BinaryOp::NotEqual: return Value::logical(compareValues(a, b, false) != 0);
      case BinaryOp::Less: return Value::logical(compareValues(a, b, false) < 0);
      case BinaryOp::LessEqual: return Value::logical(compareValues(a, b, false) <= 0);
      case BinaryOp::Greater: return Value::logical(compareValues(a, b, false) > 0);
      case BinaryOp::GreaterEqual: return Value::logical(compareValues(a, b, false) >= 0);
      case BinaryOp::Contains: return contains(a, b);
    }
    return Value();
  }

 private:
  BinaryOp op_;
  NodePtr left_;
  NodePtr right_;
};

// .AND. and .OR.: the right operand is evaluated only when the left one does not
// decide the result.
class ShortCircuit final : public Node {
 public:
  ShortCircuit(bool isAnd, NodePtr left, NodePtr right)
      : isAnd_(isAnd), left_(std::move(left)), right_(std::move(right)) {}
  Value eval() const override {
    const Value a = left_->eval();
    if (!a.isLogical()) return fail(a, Value());
    if (a.asLogical() != isAnd_) return a;
    Value b = right_->eval();
    if (!b.isLogical()) return fail(a, b);
    return b;
  }

 private:
  Value fail(const Value& a, const Value& b) const {
    return operatorError(isAnd_ ? kSubAnd : kSubOr, isAnd_ ? ".AND." : ".OR.", {a, b});
  }
  bool isAnd_;
  NodePtr left_;
  NodePtr right_;
};

class Iif final : public Node {
 public:
  Iif(NodePtr c, NodePtr t, NodePtr f)
      : condition_(std::move(c)), whenTrue_(std::move(t)), whenFalse_(std::move(f)) {}
  Value eval() const override {
    const Value c = condition_->eval();
    if (!c.isLogical()) return operatorError(kSubIif, "IIF", {c});
    const NodePtr& branch = c.asLogical() ? whenTrue_ : whenFalse_;
    return branch ? branch->eval() : Value();
  }

 private:
  NodePtr condition_;
  NodePtr whenTrue_;
  NodePtr whenFalse_;  // null: NIL
};

class Call final : public Node {
 public:
  Call(ExprFunction fn, std::vector<NodePtr> args) : fn_(fn), args_(std::move(args)) {}
  Value eval() const override {
    constexpr std::size_t kInline = 4;
    if (args_.size() <= kInline) {
      std::array<Value, kInline> values;
      for (std::size_t i = 0; i < args_.size(); ++i) values[i] = args_[i]->eval();
      return fn_(std::span<const Value>(values.data(), args_.size()));
    }
    std::vector<Value> values;
    values.reserve(args_.size());
    for (const NodePtr& arg : args_) values.push_back(arg->eval());
    return fn_(values);
  }

 private:
  ExprFunction fn_;
  std::vector<NodePtr> args_;
};

// {|| body }: a code block that evaluates the body each time it is called.
class Block final : public Node {
 public:
  explicit Block(NodePtr body) : body_(std::move(body)) {}
  Value eval() const override {
    std::shared_ptr<const Node> body = body_;
    return Value::block([body](std::span<const Value>) { return body->eval(); });
  }

 private:
  std::shared_ptr<const Node> body_;
};

}  // namespace

NodePtr makeLiteral(Value value) { return std::make_unique<Literal>(std::move(value)); }
NodePtr makeName(NameScope scope, std::string alias, std::string name) {
  return std::make_unique<NameRef>(scope, std::move(alias), std::move(name));
}
NodePtr makeUnary(UnaryOp op, NodePtr operand) {
  return std::make_unique<Unary>(op, std::move(operand));
}
NodePtr makeBinary(BinaryOp op, NodePtr left, NodePtr right) {
  return std::make_unique<Binary>(op, std::move(left), std::move(right));
}
NodePtr makeAnd(NodePtr left, NodePtr right) {
  return std::make_unique<ShortCircuit>(true, std::move(left), std::move(right));
}
NodePtr makeOr(NodePtr left, NodePtr right) {
  return std::make_unique<ShortCircuit>(false, std::move(left), std::move(right));
}
NodePtr makeIif(NodePtr condition, NodePtr whenTrue, NodePtr whenFalse) {
  return std::make_unique<Iif>(std::move(condition), std::move(whenTrue), std::move(whenFalse));
}
NodePtr makeCall(ExprFunction fn, std::vector<NodePtr> args) {
  return std::make_unique<Call>(fn, std::move(args));
}
NodePtr makeBlock(NodePtr body) { return std::make_unique<Block>(std::move(body)); }

}  // namespace talvor::expr
