#include "services/expr/expression.h"

#include "services/error.h"
#include "services/expr/nodes.h"
#include "services/text.h"

namespace talvor {

CompiledExpr::CompiledExpr(std::string text, std::unique_ptr<expr::Node> root)
    : text_(std::move(text)), root_(std::move(root)) {}

CompiledExpr::~CompiledExpr() = default;

Value CompiledExpr::eval() const { return root_->eval(); }

Value evalText(std::string_view text) {
  CompileResult compiled = compileExpression(text);
  if (compiled.ok()) return compiled.expr->eval();
  RuntimeError e = makeError("BASE", gen::SyntaxError, 0, std::string(text));
  e.args.push_back(Value::text(compiled.error));
  raise(e);
  return Value();
}

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool isNameChar(char c) { return isNameStart(c) || (c >= '0' && c <= '9'); }

std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool isName(std::string_view s) {
  if (s.empty() || !isNameStart(s.front())) return false;
  for (char c : s)
    if (!isNameChar(c)) return false;
  return true;
}

}  // namespace

std::optional<std::string> plainFieldName(std::string_view text) {
  std::string_view s = trimBlanks(text);
  const std::size_t arrow = s.find("->");
  if (arrow != std::string_view::npos) {
    const std::string alias = upperAscii(trimBlanks(s.substr(0, arrow)));
    if (alias != "FIELD" && alias != "_FIELD") return std::nullopt;
    s = trimBlanks(s.substr(arrow + 2));
  }
  if (!isName(s) || equalsIgnoreCase(s, "NIL")) return std::nullopt;
  return upperAscii(s.substr(0, 10));
}

}  // namespace talvor
