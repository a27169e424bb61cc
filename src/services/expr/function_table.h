// The functions that expressions may call, by upper-case name. Internal to the
// evaluator; registerFunction() (expression.h) adds to it.
#pragma once

#include <string_view>

#include "services/expr/expression.h"

namespace talvor::expr {

// The function registered under `name` (any case), or null.
ExprFunction findFunction(std::string_view name);

// Registers the run-time's own functions through addFunction(); called once, at
// the table's first use.
void addBuiltinFunctions();
// Adds to the table without first making sure the built-ins are there.
void addFunction(std::string_view name, ExprFunction fn);

}  // namespace talvor::expr
