// Creates the demo data set's tables (empty) through the table engine.
#pragma once

#include <string>

namespace talvor::demo {

// Creates every table of demoTables() in `dir`; false (with a message) on failure.
bool createDemoTables(const std::string& dir);

}  // namespace talvor::demo
