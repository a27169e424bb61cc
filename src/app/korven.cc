#include "app/korven.h"

#include "app/import_steps.h"
#include "app/progress_dialog.h"
#include "services/runtime.h"

namespace talvor {

void KORVEN() {
  ProcScope scope("KORVEN", 1);
  const ProgressDialog progress = openProgressDialog();
  scope.variable("CMSG", [] {
    const Value* v = rt().findPublic("CMSG");
    return v ? *v : Value();
  });
  runImportSteps(progress.textControl);
  closeProgressDialog(progress);
}

}  // namespace talvor
