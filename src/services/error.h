// Run-time errors and their one raise path.
//
// An operation that fails builds a RuntimeError and calls raise(). The installed
// handler answers Retry (the operation tries again), Default (the operation gives
// its default result, usually failure) or Substitute (the operation's result is the
// answer's value, e.g. 0 for a zero divisor). A handler that ends the program throws
// ProgramExit. Engine code is written as: raise, then act on the answer.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

#include "services/value.h"

namespace talvor {

enum class Severity { Warning = 1, Error = 2, Catastrophic = 3 };

// Generic error codes of the run-time's error-text table.
namespace gen {
inline constexpr int ArgumentError = 1;
inline constexpr int BoundError = 2;
inline constexpr int StringOverflow = 3;
inline constexpr int NumericOverflow = 4;
inline constexpr int ZeroDivisor = 5;
inline constexpr int NumericError = 6;
inline constexpr int SyntaxError = 7;
inline constexpr int UndefinedFunction = 12;
inline constexpr int NoVariable = 14;
inline constexpr int NoAlias = 15;
inline constexpr int BadAlias = 17;
inline constexpr int DupAlias = 18;
inline constexpr int Create = 20;
inline constexpr int Open = 21;
inline constexpr int Close = 22;
inline constexpr int Read = 23;
inline constexpr int Write = 24;
inline constexpr int Print = 25;
inline constexpr int Unsupported = 30;
inline constexpr int Limit = 31;
inline constexpr int Corruption = 32;
inline constexpr int DataType = 33;
inline constexpr int DataWidth = 34;
inline constexpr int NoTable = 35;
inline constexpr int NotIndexed = 36;
inline constexpr int Shared = 37;
inline constexpr int Unlocked = 38;
inline constexpr int Readonly = 39;
inline constexpr int AppendLock = 40;
inline constexpr int Lock = 41;
}  // namespace gen

// The description of a generic code ("Open error", ...); "" for an unknown code.
const char* genericText(int genCode);

// The generic code that the table engine attaches to one of its subcodes
// (1001 -> 21 "Open error", ...); 30 "Operation not supported" for any other subcode.
int genericCodeForSubcode(int subCode);

struct RuntimeError {
  std::string subsystem;    // "BASE", "DBCMD", "DBFNTX", "DELIM", ...; "" = none
  int genCode = 0;
  int subCode = 0;          // 0 = none
  std::string description;  // from genericText() unless set
  std::string operation;    // "" = none
  std::string fileName;     // "" = none
  int osCode = 0;           // Windows error number, 0 = none
  Severity severity = Severity::Error;
  bool canRetry = false;
  bool canDefault = false;
  bool canSubstitute = false;
  ValueArray args;
  int tries = 0;            // how many times this error has been raised so far

  // The message line: "(DOS Error n) " or "Error "/"Warning ", subsystem or "???",
  // "/" subcode or "/???", two blanks, description, ": " and file or operation.
  std::string messageLine() const;
};

// Builders for the common shapes.
RuntimeError makeError(std::string subsystem, int genCode, int subCode, std::string operation = {});
// A table-engine error whose generic code follows from the subcode.
RuntimeError makeEngineError(std::string subsystem, int subCode, std::string fileName = {},
                             int osCode = 0);

enum class Answer { Retry, Default, Substitute };
struct ErrorAnswer {
  Answer action = Answer::Default;
  Value value;  // the substitute result
};

using ErrorHandler = std::function<ErrorAnswer(RuntimeError&)>;

// Hands the error to the installed handler and returns its answer. A Retry answer
// for an error that does not allow retry, or Default for one that does not allow a
// default, is passed through: the raising operation decides what it can do.
ErrorAnswer raise(RuntimeError& error);
inline ErrorAnswer raise(RuntimeError&& error) { return raise(error); }

// Raises and reports whether the operation should try again.
inline bool raiseWantsRetry(RuntimeError& error) { return raise(error).action == Answer::Retry; }

// Thrown by a handler (or the stop box) to end the program with an exit code.
struct ProgramExit {
  int code = 1;
};

// A fatal internal error (e.g. 9000 "Not enough room for index buffer"): reported
// through the run-time's fatal hook, then the program ends.
[[noreturn]] void fatalError(int code, const std::string& text);

}  // namespace talvor
