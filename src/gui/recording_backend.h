// The backend for tests: records everything shown as lines of text and answers the
// modal dialogs from a script.
//
// Event lines: "dialog TITLE T,L,B,R" (pixels; " centred" when centred),
// "text TEXT", "close TITLE", "pump", "cursor wait|arrow", "info TITLE: TEXT",
// "alert TITLE: TEXT", "stop TITLE: TEXT", "notice TITLE: TEXT (SECONDS s)",
// "notice closed", "error MESSAGE [BUTTON|BUTTON...] -> CHOICE".
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "gui/ui_backend.h"

namespace talvor {

class RecordingBackend final : public UiBackend {
 public:
  std::vector<std::string> events;
  // Answers for the next error dialogs; when none is left the dialog is closed (Quit).
  std::deque<ErrorChoice> errorChoices;
  // Results of the next pumps; true once none is left.
  std::deque<bool> pumpResults;
  // The error dialogs shown, in order.
  std::vector<ErrorDialogSpec> errorDialogs;
  // When false, "pump" and "text" events are not recorded (long runs).
  bool recordProgress = true;

  void dialogShown(int dialog, const std::string& title, const DialogRect& units,
                   bool centred) override;
  void textShown(int dialog, int control, const std::string& text) override;
  void dialogClosed(int dialog) override;
  bool pump() override;
  void cursorSet(CursorShape shape) override;
  void messageBox(BoxKind kind, const std::string& title, const std::string& text) override;
  void noticeShown(const std::string& title, const std::string& text, double seconds) override;
  void noticeClosed() override;
  ErrorChoice errorDialog(const ErrorDialogSpec& dialogSpec) override;

  // The events that start with `prefix`.
  std::vector<std::string> eventsStartingWith(const std::string& prefix) const;

 private:
  std::map<int, std::string> titles_;
};

}  // namespace talvor
