// The evaluator's tree: one node per operand, operator or call. Internal to the
// evaluator; the parser builds it, CompiledExpr owns it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "services/expr/expression.h"
#include "services/value.h"

namespace talvor::expr {

class Node {
 public:
  virtual ~Node() = default;
  virtual Value eval() const = 0;
};

using NodePtr = std::unique_ptr<Node>;

enum class BinaryOp {
  Plus, Minus, Times, Divide, Modulo, Power,
  Equal, ExactEqual, NotEqual, Less, LessEqual, Greater, GreaterEqual, Contains,
};
enum class UnaryOp { Negate, Identity, Not };

// How a name is looked up: a field of the named (or current) area and then a
// public variable, a field only (FIELD->, alias->), or a public variable only (M->).
enum class NameScope { FieldThenPublic, FieldOnly, PublicOnly };

NodePtr makeLiteral(Value value);
NodePtr makeName(NameScope scope, std::string alias, std::string name);
NodePtr makeUnary(UnaryOp op, NodePtr operand);
NodePtr makeBinary(BinaryOp op, NodePtr left, NodePtr right);
NodePtr makeAnd(NodePtr left, NodePtr right);
NodePtr makeOr(NodePtr left, NodePtr right);
NodePtr makeIif(NodePtr condition, NodePtr whenTrue, NodePtr whenFalse);
NodePtr makeCall(ExprFunction fn, std::vector<NodePtr> args);
NodePtr makeBlock(NodePtr body);

}  // namespace talvor::expr
