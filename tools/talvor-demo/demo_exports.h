// Writes the SAP export files of the demo data set: CR LF lines, a header line
// first, values chosen to exercise every rule of the derivation and encryption.
#pragma once

#include <cstdint>
#include <string>

namespace talvor::demo {

struct ExportOptions {
  int64_t rows = 200;  // material rows; the price and kit files scale with it
  uint64_t seed = 1;
};

// Writes every export into `dir`; false (with a message on stderr) on failure.
bool writeDemoExports(const std::string& dir, const ExportOptions& options);

}  // namespace talvor::demo
