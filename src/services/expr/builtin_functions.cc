// The run-time's functions as expressions call them: adapters from an argument
// list to the command-level functions of services/functions.h, and the record
// functions answered through the field scope.
#include <cstddef>
#include <span>
#include <string>
#include <utility>

#include "services/expr/field_scope.h"
#include "services/expr/function_table.h"

#include "services/functions.h"
namespace talvor::expr {

namespace {

Value recnoFn(std::span<const Value>) {
  FieldScope* fields = fieldScope();
  if (!fields) return Value::integer(0, 7);
  return fields->recno(fields->currentArea());
}

Value deletedFn(std::span<const Value>) {
  FieldScope* fields = fieldScope();
  return Value::logical(fields && fields->deleted(fields->currentArea()));
}

const Value& argAt(std::span<const Value> args, std::size_t i) {
  static const Value nil;
  return i < args.size() ? args[i] : nil;
}

// Calls a command-level function with as many of the written arguments as it
// takes; the ones not written are NIL.
template <class... Params, std::size_t... I>
Value callWith(Value (*fn)(Params...), [[maybe_unused]] std::span<const Value> args,
               std::index_sequence<I...>) {
  return fn(argAt(args, I)...);
}

template <auto Fn>
Value adapt(std::span<const Value> args) {
  return [&]<class... Params>(Value (*fn)(Params...)) {
    return callWith(fn, args, std::index_sequence_for<Params...>{});
  }(Fn);
}

}  // namespace

void addBuiltinFunctions() {
  addFunction("RECNO", recnoFn);
  addFunction("DELETED", deletedFn);
  addFunction("STR", adapt<&STR>);
  addFunction("STRZERO", adapt<&STRZERO>);
  addFunction("VAL", adapt<&VAL>);
  addFunction("SUBSTR", adapt<&SUBSTR>);
  addFunction("LEFT", adapt<&LEFT>);
  addFunction("RIGHT", adapt<&RIGHT>);
  addFunction("UPPER", adapt<&UPPER>);
  addFunction("LOWER", adapt<&LOWER>);
  addFunction("TRIM", adapt<&TRIM>);
  addFunction("RTRIM", adapt<&RTRIM>);
  addFunction("LTRIM", adapt<&LTRIM>);
  addFunction("ALLTRIM", adapt<&ALLTRIM>);
  addFunction("PADR", adapt<&PADR>);
  addFunction("PADL", adapt<&PADL>);
  addFunction("SPACE", adapt<&SPACE>);
  addFunction("REPLICATE", adapt<&REPLICATE>);
  addFunction("CHR", adapt<&CHR>);
  addFunction("ASC", adapt<&ASC>);
  addFunction("AT", adapt<&AT>);
  addFunction("DTOS", adapt<&DTOS>);
  addFunction("DTOC", adapt<&DTOC>);
  addFunction("CTOD", adapt<&CTOD>);
  addFunction("YEAR", adapt<&YEAR>);
  addFunction("MONTH", adapt<&MONTH>);
  addFunction("DAY", adapt<&DAY>);
  addFunction("DATE", adapt<&DATE>);
  addFunction("EMPTY", adapt<&EMPTY>);
  addFunction("INT", adapt<&INT>);
  addFunction("ROUND", adapt<&ROUND>);
  addFunction("ABS", adapt<&ABS>);
  addFunction("LEN", adapt<&LEN>);
  addFunction("VALTYPE", adapt<&VALTYPE>);
}

}  // namespace talvor::expr
