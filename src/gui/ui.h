// The UI port: the dialogs, bound text controls, message pump, cursors, fonts,
// message boxes and error dialog that the import and the utility library use.
//
// The run-time holds one Ui (ui()); its backend is chosen by TALVOR_UI
// ("terminal", the default, or "none") unless a test installs its own with
// useUiBackend(). rt().reset() drops it.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gui/ui_backend.h"

namespace talvor {

struct FontSpec {
  std::string face;
  int width = 0;
  int height = 0;  // negative: a character height in pixels
  bool bold = false;
};

class Ui {
 public:
  explicit Ui(std::unique_ptr<UiBackend> backend);
  ~Ui();
  Ui(const Ui&) = delete;
  Ui& operator=(const Ui&) = delete;

  UiBackend& backend() { return *backend_; }

  // A dialog from its title and rectangle; nothing is shown before activate().
  int createDialog(std::string title, DialogRect units);
  // A text control on a dialog at a control row/column, bound to a variable
  // through `read`: every refresh calls it again.
  int createTextControl(int dialog, int row, int col, int widthPx, int heightPx,
                        std::function<std::string()> read);
  // Shows the dialog and its controls and returns at once (modeless).
  void activate(int dialog, bool centred = false);
  // Reads the control's variable again and shows it.
  void refresh(int control);
  // Close request plus message pump: the dialog is removed.
  void end(int dialog);
  bool sysRefresh();
  void setCursor(CursorShape shape);

  int createFont(FontSpec dialogSpec);
  const FontSpec* font(int id) const;

  void msgInfo(const std::string& text, const std::string& title);
  void msgAlert(const std::string& text, const std::string& title);
  void stopBox(const std::string& text, const std::string& title);
  // Shows a self-closing notice and blocks for `seconds` on the run-time's clock.
  void msgWait(const std::string& text, const std::string& title, double seconds);

  // Runs the modal error dialog until a choice other than "See Error.log file" is
  // made; that button calls `seeLog` and leaves the dialog open.
  ErrorChoice errorDialog(const ErrorDialogSpec& dialogSpec, const std::function<void()>& seeLog);

  // The names of the object kinds created so far, in the order of first creation.
  const std::vector<std::string>& classesInUse() const { return classes_; }

 private:
  struct Control {
    int dialog = 0;
    std::function<std::string()> read;
  };
  struct Dialog {
    std::string title;
    DialogRect units;
    std::vector<int> controls;
    bool shown = false;
  };

  void noteClass(const char* name);
  void closeAll();

  std::unique_ptr<UiBackend> backend_;
  std::map<int, Dialog> dialogs_;
  std::map<int, Control> controls_;
  std::map<int, FontSpec> fonts_;
  std::vector<std::string> classes_;
  int nextId_ = 1;
};

// The run-time's UI, created from the environment on first use.
Ui& ui();
// Replaces the run-time's UI with one over `backend`; returns it.
Ui& useUiBackend(std::unique_ptr<UiBackend> backend);
// The backend that TALVOR_UI names: "none", else the terminal.
std::unique_ptr<UiBackend> backendFromEnvironment();

// The component pack's functions, on the run-time's UI.
bool SYSREFRESH();
void CURSORWAIT();
void CURSORARROW();
void MSGINFO(const std::string& text, const std::string& title = "Information");
void MSGALERT(const std::string& text, const std::string& title = "Alert");
void MSGWAIT(const std::string& text, const std::string& title, double seconds);

}  // namespace talvor
