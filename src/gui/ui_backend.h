// What a UI backend shows. The port (ui.h) keeps the dialogs, controls, fonts and
// object kinds; a backend only presents them. Every method has a do-nothing
// default, so a backend overrides what it can show.
#pragma once

#include <string>
#include <vector>

namespace talvor {

// A dialog's rectangle in the pack's row/column units.
struct DialogRect {
  int top = 0;
  int left = 0;
  int bottom = 0;
  int right = 0;
};

// The same rectangle in pixels: a row is 15.1 pixels, a column 7.9, each product
// truncated (rows 6-13, columns 10-68 give 90, 79, 196, 537).
DialogRect dialogPixels(const DialogRect& units);

enum class CursorShape { Arrow, Wait };
enum class BoxKind { Info, Alert, Stop };

// The error dialog's answers. SeeLog is the "See Error.log file" button, which
// leaves the dialog open.
enum class ErrorChoice { Quit, Retry, Default, SeeLog };

struct ErrorDialogSpec {
  std::string messageLine;
  std::vector<std::string> stackLines;  // "Called from NAME(LINE)", innermost first
  bool allowRetry = false;
  bool allowDefault = false;
};

// The buttons of an error dialog, in their order: "&Quit", "&Retry" when retry is
// allowed, "&Default" when a default is allowed, "See Error.log file".
std::vector<std::string> errorDialogButtons(const ErrorDialogSpec& dialogSpec);

class UiBackend {
 public:
  virtual ~UiBackend() = default;
  virtual void dialogShown(int dialog, const std::string& title, const DialogRect& units,
                           bool centred) {}
  // A control of a shown dialog displays this text (from its first character).
  virtual void textShown(int dialog, int control, const std::string& text) {}
  virtual void dialogClosed(int dialog) {}
  // Handles waiting window messages; false when a quit request was met.
  virtual bool pump() { return true; }
  virtual void cursorSet(CursorShape shape) {}
  // A modal box with one OK button; returns when it is closed.
  virtual void messageBox(BoxKind kind, const std::string& title, const std::string& text) {}
  // A self-closing notice appears; the port waits, then calls noticeClosed().
  virtual void noticeShown(const std::string& title, const std::string& text, double seconds) {}
  virtual void noticeClosed() {}
  // The modal error dialog; the default closes it at once, which counts as Quit.
  virtual ErrorChoice errorDialog(const ErrorDialogSpec& dialogSpec) { return ErrorChoice::Quit; }
};

}  // namespace talvor
