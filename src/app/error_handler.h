// The program's error handler (ERRORSYS), installed into the run-time before the
// entry procedure runs. Its rules, in order:
//   - "Zero divisor": the division yields 0, silently;
//   - "Open error" with OS code 32 or 5, or "Append lock failed", where a default
//     is allowed: NETERR is set and the operation fails quietly (Default);
//   - anything else: "Error.log" is written into the current directory and the
//     error dialog is shown. "&Quit" (or closing it) ends the program with exit
//     code 1 (ProgramExit), "&Retry" lets the operation try again, "&Default" lets
//     it fail with its default result.
// The rules stay in force after any answer. An error raised while the handler
// builds its report or shows its dialog is shown in a stop box (its message line,
// " from Errorsys, line:" and the handler's line in three positions) and ends the
// program.
#pragma once

#include <functional>
#include <string>

#include "services/error.h"

namespace talvor {

// Installs the handler into rt().errorHandler.
void ERRORSYS();

// The handler itself.
ErrorAnswer handleRuntimeError(RuntimeError& error);

// What "See Error.log file" does with the report's full path; the default is
// openLogFile().
void setLogViewer(std::function<void(const std::string& path)> viewer);

// Opens the file with $VISUAL, else $EDITOR, else xdg-open when a desktop is
// there; prints its path on stderr when none of these can be started.
void openLogFile(const std::string& path);

}  // namespace talvor
