#include "app/progress_dialog.h"

#include "gui/ui.h"
#include "services/runtime.h"

namespace talvor {

namespace {

constexpr const char* kMessageVariable = "CMSG";

// The control shows the variable itself, not a copy of it.
std::string readMessage() {
  const Value* v = rt().findPublic(kMessageVariable);
  return v && v->isText() ? v->asText() : std::string();
}

}  // namespace

ProgressDialog openProgressDialog() {
  rt().setPublic(kMessageVariable, Value::text("Please Wait.."));
  Ui& u = ui();
  ProgressDialog d;
  d.dialog = u.createDialog("Importing SAP Data", DialogRect{6, 10, 13, 68});
  d.textControl = u.createTextControl(d.dialog, 1, 3, 180, 12, readMessage);
  u.activate(d.dialog, false);
  CURSORWAIT();
  SYSREFRESH();
  return d;
}

void showProgress(const std::string& message, int textControl) {
  rt().setPublic(kMessageVariable, Value::text(message));
  ui().refresh(textControl);
  SYSREFRESH();
}

void closeProgressDialog(const ProgressDialog& dialog) { ui().end(dialog.dialog); }

}  // namespace talvor
