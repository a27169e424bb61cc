#include "app/error_handler.h"

#include "app/engine_report.h"
#include "gui/none_backend.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <vector>

#include "app/error_log.h"
#include "gui/ui.h"
#include "services/runtime.h"

extern char** environ;

namespace talvor {

namespace {

constexpr const char* kLogName = "Error.log";

// The handler's own line numbers, named in the stop box of a nested error.
constexpr int kLineReport = 40;
constexpr int kLineDialog = 52;

struct HandlerState {
  bool busy = false;
  int line = 0;
  std::function<void(const std::string&)> viewer;
};

HandlerState& state() { return rt().component<HandlerState>(); }

class BusyScope {
 public:
  explicit BusyScope(HandlerState& s) : s_(s) { s_.busy = true; }
  ~BusyScope() { s_.busy = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  HandlerState& s_;
};

bool isQuietNetworkError(const RuntimeError& e) {
  if (!e.canDefault) return false;
  if (e.genCode == gen::Open) return e.osCode == 32 || e.osCode == 5;
  return e.genCode == gen::AppendLock;
}

[[noreturn]] void stopNested(const RuntimeError& error, int line) {
  char number[16];
  std::snprintf(number, sizeof number, "%3d", line);
  ui().stopBox(error.messageLine() + " from Errorsys, line:" + number, "Error");
  throw ProgramExit{1};
}

std::string logPath() {
  std::error_code ec;
  const auto path = std::filesystem::absolute(kLogName, ec);
  return ec ? std::string(kLogName) : path.string();
}

ErrorAnswer reportAndAsk(RuntimeError& error, HandlerState& s) {
  BusyScope busy(s);
  s.line = kLineReport;
  try {
    writeErrorLog(error, kLogName);  // a report that cannot be written is left out
  } catch (const std::exception&) {
  }
  s.line = kLineDialog;
  ErrorDialogSpec dialogSpec;
  dialogSpec.messageLine = error.messageLine();
  dialogSpec.stackLines = stackCallLines();
  dialogSpec.allowRetry = error.canRetry;
  dialogSpec.allowDefault = error.canDefault;
  const auto viewer = s.viewer ? s.viewer : openLogFile;
  const ErrorChoice choice = ui().errorDialog(dialogSpec, [&] { viewer(logPath()); });
  switch (choice) {
    case ErrorChoice::Retry: return ErrorAnswer{Answer::Retry, {}};
    case ErrorChoice::Default: return ErrorAnswer{Answer::Default, {}};
    default:
      // A run without any UI still says in one line why it ended.
      if (dynamic_cast<NoneBackend*>(&ui().backend()))
        std::fprintf(stderr, "talvor-import: %s (see %s)\n", dialogSpec.messageLine.c_str(), logPath().c_str());
      throw ProgramExit{1};
  }
}

bool runShellCommand(const std::string& command, const std::string& path) {
  std::vector<std::string> args{"/bin/sh", "-c", command + " \"$1\"", "sh", path};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  if (waitpid(pid, &status, 0) < 0) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

void ERRORSYS() {
  rt().errorHandler = handleRuntimeError;
  installEngineReport();
}

ErrorAnswer handleRuntimeError(RuntimeError& error) {
  HandlerState& s = state();
  if (s.busy) stopNested(error, s.line);
  if (error.genCode == gen::ZeroDivisor) return ErrorAnswer{Answer::Substitute, Value::integer(0)};
  if (isQuietNetworkError(error)) {
    rt().netErr = true;
    return ErrorAnswer{Answer::Default, {}};
  }
  return reportAndAsk(error, s);
}

void setLogViewer(std::function<void(const std::string&)> viewer) {
  state().viewer = std::move(viewer);
}

void openLogFile(const std::string& path) {
  for (const char* name : {"VISUAL", "EDITOR"}) {
    const char* editor = std::getenv(name);
    if (editor && *editor && runShellCommand(editor, path)) return;
  }
  if ((std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY")) &&
      runShellCommand("xdg-open", path))
    return;
  std::fprintf(stderr, "Error report: %s\n", path.c_str());
}

}  // namespace talvor
