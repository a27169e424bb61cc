#include "demo_tables.h"

#include <cstdio>

#include "demo_schema.h"
#include "rdd/db_commands.h"
#include "rdd/table_ops.h"
#include "services/runtime.h"

namespace talvor::demo {

namespace {

Value structureOf(const TableDef& table) {
  ValueArray rows;
  for (const auto& f : table.fields)
    rows.push_back(Value::array({Value::text(f.name), Value::text(std::string(1, f.type)),
                                 Value::integer(f.length), Value::integer(f.decimals)}));
  return Value::array(std::move(rows));
}

}  // namespace

bool createDemoTables(const std::string& dir) {
  bool ok = true;
  rt().errorHandler = [&ok](RuntimeError& e) {
    std::fprintf(stderr, "talvor-demo: %s\n", e.messageLine().c_str());
    ok = false;
    return ErrorAnswer{};
  };
  for (const auto& table : demoTables()) {
    DBCREATE(Value::text(dir + "/" + table.file + ".dbf"), structureOf(table));
    if (!ok) return false;
  }
  return true;
}

}  // namespace talvor::demo
