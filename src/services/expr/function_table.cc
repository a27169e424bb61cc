#include "services/expr/function_table.h"

#include <map>
#include <string>

#include "services/text.h"

namespace talvor {

namespace {

std::map<std::string, ExprFunction, std::less<>>& table() {
  static std::map<std::string, ExprFunction, std::less<>> functions;
  return functions;
}

void ensureBuiltins() {
  static const bool done = [] {
    expr::addBuiltinFunctions();
    return true;
  }();
  (void)done;
}

}  // namespace

void registerFunction(std::string_view name, ExprFunction fn) {
  ensureBuiltins();
  expr::addFunction(name, fn);
}

namespace expr {

void addFunction(std::string_view name, ExprFunction fn) { table()[upperAscii(name)] = fn; }

ExprFunction findFunction(std::string_view name) {
  ensureBuiltins();
  auto it = table().find(upperAscii(name));
  return it == table().end() ? nullptr : it->second;
}

}  // namespace expr
}  // namespace talvor
