// The default backend: the progress dialog as a status line on stderr, message
// boxes as text, and the error dialog as a prompt when a terminal can answer it.
//
// On a terminal the status line is rewritten in place; otherwise each step gets a
// line of its own. A text that differs from the one shown only in its digits (a
// running count) is a redraw, and redraws are throttled to about 20 a second, so
// that a million updates cost next to nothing; a new step is always shown at once,
// after the last count of the step before it.
#pragma once

#include <cstdio>
#include <string>

#include "gui/error_policy.h"
#include "gui/ui_backend.h"

namespace talvor {

struct TerminalStreams {
  std::FILE* out = stderr;
  std::FILE* in = stdin;
  bool outIsTerminal = false;
  bool inIsTerminal = false;
};

// stderr and stdin, with whether each is a terminal.
TerminalStreams standardStreams();

class TerminalBackend final : public UiBackend {
 public:
  explicit TerminalBackend(ErrorPolicy policy, TerminalStreams streams = standardStreams());
  ~TerminalBackend() override;

  void dialogShown(int dialog, const std::string& title, const DialogRect& units,
                   bool centred) override;
  void textShown(int dialog, int control, const std::string& text) override;
  void dialogClosed(int dialog) override;
  void messageBox(BoxKind kind, const std::string& title, const std::string& text) override;
  void noticeShown(const std::string& title, const std::string& text, double seconds) override;
  ErrorChoice errorDialog(const ErrorDialogSpec& dialogSpec) override;

 private:
  bool canAsk() const { return streams_.inIsTerminal && streams_.outIsTerminal; }
  void draw(const std::string& text);
  void flushPending();
  // Ends the status line so that other output starts on a fresh line.
  void breakStatusLine();
  void waitForEnter();
  std::string readAnswer();

  ErrorPolicy policy_;
  TerminalStreams streams_;
  std::string title_;
  std::string drawnText_;
  std::string drawnShape_;
  std::string pendingText_;
  bool pending_ = false;
  bool lineOpen_ = false;  // a status line is on screen without its newline
  double lastDraw_ = -1e9;
};

}  // namespace talvor
