#include "app/korven.h"

#include <cstdio>

#include "app/import_report.h"
#include "app/import_steps.h"
#include "gui/none_backend.h"
#include "gui/terminal_backend.h"
#include "gui/ui.h"
#include "app/progress_dialog.h"
#include "services/runtime.h"

namespace talvor {

namespace {

// What the run did, and every place where it lost data without an error: the
// whole summary on a terminal, the warnings alone when there is no UI.
void printSummary() {
  UiBackend& backend = ui().backend();
  const bool terminal = dynamic_cast<TerminalBackend*>(&backend) != nullptr;
  const bool none = dynamic_cast<NoneBackend*>(&backend) != nullptr;
  if (!terminal && !none) return;
  const ImportReport& report = importReport();
  for (const auto& line : terminal ? report.summaryLines() : report.warningLines())
    std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace

void KORVEN() {
  ProcScope scope("KORVEN", 1);
  const ProgressDialog progress = openProgressDialog();
  scope.variable("CMSG", [] {
    const Value* v = rt().findPublic("CMSG");
    return v ? *v : Value();
  });
  runImportSteps(progress.textControl);
  closeProgressDialog(progress);
  printSummary();
}

}  // namespace talvor
