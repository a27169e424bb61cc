// What the import run met, step by step, for the summary shown when it ends: the
// file read, the table filled and its record count, and a warning for every
// situation in which data is lost without an error (a missing or empty export, a
// raw export cut short by a control byte, lines with more than 93 columns).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace talvor {

struct StepReport {
  std::string file;
  std::string table;
  int64_t records = -1;  // -1 when the table could not be counted
  std::vector<std::string> warnings;
};

struct ImportReport {
  std::vector<StepReport> steps;

  StepReport& begin(std::string file, std::string table);
  // The summary as text lines; warnings are prefixed with "warning: ".
  std::vector<std::string> summaryLines() const;
  std::vector<std::string> warningLines() const;
};

// The run's report (a run-time component: empty after rt().reset()).
ImportReport& importReport();

}  // namespace talvor
