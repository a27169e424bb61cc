// The run-time's expression evaluator: key expressions, stored conditions and
// printer sequences kept as text are compiled once into an evaluator over the
// current record and then evaluated as often as needed.
//
// The language accepted:
//   operands   field names, alias->field, FIELD->name, _FIELD->name, M->name,
//              MEMVAR->name, public variables, 'text' "text" [text], 12 1.50 .5,
//              .T. .F. .Y. .N., 0d20120214, {^2012-02-14}, {|| expression },
//              function calls NAME(arg, ...) (an empty argument is NIL)
//   operators  by falling precedence: unary + -; ** ^; * / %; + -;
//              = == != <> # < <= > >= $; .NOT. !; .AND.; .OR.
//              (binary operators group left to right; .AND. and .OR. stop as
//              soon as the result is known; IIF evaluates only the branch taken)
//
// Names compare without regard to case. A bare name is a field of the current
// work area (cut to 10 characters), else a public variable, else run-time error
// 14 "Variable does not exist" (BASE/1003, retry allowed). An alias bound to no
// work area raises 15 "Alias does not exist" (BASE/1002, retry allowed). A Retry
// answer looks the name up again; Substitute gives the answer's value; Default
// gives NIL. Field positions are looked up once per work area and kept.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "services/value.h"

namespace talvor {

// Longest key or condition expression an index header holds; the index layer
// refuses longer ones.
inline constexpr std::size_t kMaxStoredExpression = 255;

namespace expr {
class Node;
}

class CompiledExpr {
 public:
  explicit CompiledExpr(std::string text, std::unique_ptr<expr::Node> root);
  ~CompiledExpr();
  CompiledExpr(const CompiledExpr&) = delete;
  CompiledExpr& operator=(const CompiledExpr&) = delete;

  // Evaluates over the current record and the public variables. Faults raise
  // run-time errors through the installed handler.
  Value eval() const;
  // The text the expression was compiled from.
  const std::string& text() const { return text_; }

 private:
  std::string text_;
  std::unique_ptr<expr::Node> root_;
};

struct CompileResult {
  std::unique_ptr<CompiledExpr> expr;  // null when the text does not compile
  std::string error;     // e.g. "unknown function FOO at position 1 in \"foo(1)\""
  int position = 0;      // 1-based position of the fault in the text; 0 when compiled
  bool ok() const { return expr != nullptr; }
};

CompileResult compileExpression(std::string_view text);

// Compiles and evaluates. A text that does not compile raises 7 "Syntax error"
// (subsystem "BASE", operation the text, the fault's description as argument)
// and gives NIL.
Value evalText(std::string_view text);

// The field name, upper-cased and cut to 10 characters, when the text (ignoring
// surrounding blanks) is nothing but one name, optionally after FIELD-> or
// _FIELD->; else nothing.
std::optional<std::string> plainFieldName(std::string_view text);

// Functions callable from expressions. Missing arguments arrive as NIL only when
// written empty ("F(a,,b)"); the function sees exactly the arguments written.
using ExprFunction = Value (*)(std::span<const Value> args);

// Adds or replaces a function (name compared without regard to case). Texts
// compiled before keep the function they were compiled with.
void registerFunction(std::string_view name, ExprFunction fn);

}  // namespace talvor
