// The demo data set: the quoting application's tables (field lists designed from
// what the import reads and writes) and the SAP exports that fill them.
#pragma once

#include <string>
#include <vector>

namespace talvor::demo {

struct FieldDef {
  std::string name;
  char type;
  int length;
  int decimals;
};

struct TableDef {
  const char* file;  // base name, lower case
  std::vector<FieldDef> fields;
};

// Every table of the data set, in the order the import touches them.
const std::vector<TableDef>& demoTables();

}  // namespace talvor::demo
