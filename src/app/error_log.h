// The error report "Error.log": eight sections, each heading underlined by "="
// signs of its length: Application, Stack Calls, System, Variables in use, Linked
// RDDs, DataBases in use, Classes in use:, Memory Analysis.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "services/error.h"
#include "services/value.h"

namespace talvor {

// What the table engine contributes to the report. The engine (or the program
// that links it) fills these; while they are empty the sections stay empty.
struct OrderReport {
  std::string key;
  std::string tag;
  bool controlling = false;
};
struct AreaReport {
  int area = 0;
  bool current = false;
  std::string alias;
  std::string driver;
  int64_t recNo = 0;
  int64_t recCount = 0;
  bool bof = false;
  bool eof = false;
  std::vector<OrderReport> orders;      // at most 15 are reported
  std::vector<std::string> relations;   // at most 8 are reported
};
struct EngineReportSource {
  std::function<std::vector<std::string>()> linkedDrivers;
  std::function<std::vector<AreaReport>()> areasInUse;  // areas 1-255 that hold a table
};
// The run-time's source (reset with the run-time).
EngineReportSource& engineReportSource();

// "   Called from NAME(LINE)" for each active procedure, innermost first, at most 72.
std::vector<std::string> stackCallLines();

// A file size in the picture "9,999,999 bytes"; asterisks when it does not fit.
std::string formatFileSize(int64_t bytes);

// A value as the report shows it after its type letter.
std::string reportValueText(const Value& value);

// The whole report for an error.
std::string composeErrorLog(const RuntimeError& error);

// Writes the report whole to `path`; false when it could not be written.
bool writeErrorLog(const RuntimeError& error, const std::string& path = "Error.log");

}  // namespace talvor
