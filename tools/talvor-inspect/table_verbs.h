// talvor-inspect's table verbs. Each returns 0, or 2 (with a message on stderr)
// when the file is not a valid table.
#pragma once

#include <ostream>
#include <string>

namespace talvor {

struct RowOptions {
  bool csv = false;
  long limit = -1;  // all rows
};

int runTableHeader(const std::string& path, std::ostream& out);
int runTableStruct(const std::string& path, std::ostream& out);
int runTableCount(const std::string& path, std::ostream& out);
int runTableRows(const std::string& path, const RowOptions& options, std::ostream& out);

}  // namespace talvor
