#include "services/error.h"

#include <cstdio>

#include "services/runtime.h"

namespace talvor {

namespace {

struct GenericEntry {
  int code;
  const char* text;
};

// The run-time's error-text table.
constexpr GenericEntry kGenericTexts[] = {
    {1, "Argument error"},
    {2, "Bound error"},
    {3, "String overflow"},
    {4, "Numeric overflow"},
    {5, "Zero divisor"},
    {6, "Numeric error"},
    {7, "Syntax error"},
    {8, "Operation too complex"},
    {11, "Memory low"},
    {12, "Undefined function"},
    {13, "No exported method"},
    {14, "Variable does not exist"},
    {15, "Alias does not exist"},
    {16, "No exported variable"},
    {17, "Illegal characters in alias"},
    {18, "Alias already in use"},
    {20, "Create error"},
    {21, "Open error"},
    {22, "Close error"},
    {23, "Read error"},
    {24, "Write error"},
    {25, "Print error"},
    {30, "Operation not supported"},
    {31, "Limit exceeded"},
    {32, "Corruption detected"},
    {33, "Data type error"},
    {34, "Data width error"},
    {35, "Workarea not in use"},
    {36, "Workarea not indexed"},
    {37, "Exclusive required"},
    {38, "Lock required"},
    {39, "Write not allowed"},
    {40, "Append lock failed"},
    {41, "Lock Failure"},
};

struct SubcodeEntry {
  int subCode;
  int genCode;
};

// The table engine's subcodes and the generic code each one carries.
constexpr SubcodeEntry kSubcodes[] = {
    {1001, gen::Open},     {1004, gen::Create},   {1010, gen::Read},
    {1011, gen::Write},    {1012, gen::Corruption}, {1020, gen::DataType},
    {1021, gen::DataWidth}, {1022, gen::Unlocked}, {1023, gen::Shared},
    {1024, gen::AppendLock}, {1025, gen::Readonly}, {1038, gen::Lock},
};

}  // namespace

const char* genericText(int genCode) {
  for (const auto& e : kGenericTexts)
    if (e.code == genCode) return e.text;
  return "";
}

int genericCodeForSubcode(int subCode) {
  for (const auto& e : kSubcodes)
    if (e.subCode == subCode) return e.genCode;
  return gen::Unsupported;
}

std::string RuntimeError::messageLine() const {
  std::string line;
  if (osCode != 0) {
    line.append("(DOS Error ").append(std::to_string(osCode)).append(") ");
  } else {
    line.append(severity == Severity::Warning ? "Warning " : "Error ");
  }
  line.append(subsystem.empty() ? std::string("???") : subsystem);
  line.append("/").append(subCode != 0 ? std::to_string(subCode) : std::string("???"));
  line.append("  ").append(description.empty() ? std::string(genericText(genCode)) : description);
  if (!fileName.empty())
    line.append(": ").append(fileName);
  else if (!operation.empty())
    line.append(": ").append(operation);
  return line;
}

RuntimeError makeError(std::string subsystem, int genCode, int subCode, std::string operation) {
  RuntimeError e;
  e.subsystem = std::move(subsystem);
  e.genCode = genCode;
  e.subCode = subCode;
  e.description = genericText(genCode);
  e.operation = std::move(operation);
  return e;
}

RuntimeError makeEngineError(std::string subsystem, int subCode, std::string fileName, int osCode) {
  RuntimeError e = makeError(std::move(subsystem), genericCodeForSubcode(subCode), subCode);
  e.fileName = std::move(fileName);
  e.osCode = osCode;
  return e;
}

ErrorAnswer raise(RuntimeError& error) {
  if (error.description.empty()) error.description = genericText(error.genCode);
  ++error.tries;
  Runtime& r = rt();
  if (!r.errorHandler) return ErrorAnswer{};
  return r.errorHandler(error);
}

[[noreturn]] void fatalError(int code, const std::string& text) {
  Runtime& r = rt();
  if (r.fatalHook) r.fatalHook(code, text);
  std::fprintf(stderr, "Unrecoverable error %d: %s\n", code, text.c_str());
  throw ProgramExit{1};
}

}  // namespace talvor
