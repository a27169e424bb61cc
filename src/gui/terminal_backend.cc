#include "gui/terminal_backend.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cctype>

#include "services/keyboard.h"

namespace talvor {

namespace {

constexpr double kRedrawInterval = 0.05;

// The text with its digits taken out: two texts of one step share it.
std::string shapeOf(const std::string& text) {
  std::string shape;
  shape.reserve(text.size());
  for (unsigned char c : text)
    if (!std::isdigit(c)) shape.push_back(static_cast<char>(c));
  return shape;
}

std::size_t terminalWidth(std::FILE* out) {
  winsize ws{};
  if (ioctl(fileno(out), TIOCGWINSZ, &ws) == 0 && ws.ws_col > 1) return ws.ws_col - 1;
  return 79;
}

const char* buttonKey(const std::string& button) {
  if (button == "&Quit") return "[Q]uit";
  if (button == "&Retry") return "[R]etry";
  if (button == "&Default") return "[D]efault";
  return "[S]ee Error.log file";
}

}  // namespace

TerminalStreams standardStreams() {
  TerminalStreams s;
  s.outIsTerminal = isatty(fileno(s.out)) == 1;
  s.inIsTerminal = isatty(fileno(s.in)) == 1;
  return s;
}

TerminalBackend::TerminalBackend(ErrorPolicy policy, TerminalStreams streams)
    : policy_(policy), streams_(streams) {}

TerminalBackend::~TerminalBackend() {
  flushPending();
  breakStatusLine();
}

void TerminalBackend::dialogShown(int, const std::string& title, const DialogRect&, bool) {
  breakStatusLine();
  title_ = title;
  drawnText_.clear();
  drawnShape_.clear();
  pending_ = false;
}

void TerminalBackend::textShown(int, int, const std::string& text) {
  if (text == drawnText_ && !pending_) return;
  std::string shape = shapeOf(text);
  const double now = clock().now();
  if (shape != drawnShape_) {
    flushPending();
    drawnShape_ = std::move(shape);
  } else if (now - lastDraw_ < kRedrawInterval || !streams_.outIsTerminal) {
    pendingText_ = text;
    pending_ = true;
    return;
  }
  lastDraw_ = now;
  draw(text);
}

void TerminalBackend::draw(const std::string& text) {
  pending_ = false;
  drawnText_ = text;
  std::string line = title_.empty() ? text : title_ + ": " + text;
  if (streams_.outIsTerminal) {
    const std::size_t width = terminalWidth(streams_.out);
    if (line.size() > width) line.resize(width);
    std::fprintf(streams_.out, "\r%s\033[K", line.c_str());
    lineOpen_ = true;
  } else {
    std::fprintf(streams_.out, "%s\n", line.c_str());
  }
  std::fflush(streams_.out);
}

void TerminalBackend::flushPending() {
  if (pending_) draw(pendingText_);
}

void TerminalBackend::breakStatusLine() {
  if (!lineOpen_) return;
  std::fputc('\n', streams_.out);
  std::fflush(streams_.out);
  lineOpen_ = false;
}

void TerminalBackend::dialogClosed(int) {
  flushPending();
  breakStatusLine();
  title_.clear();
}

void TerminalBackend::messageBox(BoxKind kind, const std::string& title, const std::string& text) {
  flushPending();
  breakStatusLine();
  std::fprintf(streams_.out, "%s: %s\n", title.c_str(), text.c_str());
  std::fflush(streams_.out);
  if (kind != BoxKind::Stop) waitForEnter();
}

void TerminalBackend::noticeShown(const std::string& title, const std::string& text, double) {
  flushPending();
  breakStatusLine();
  std::fprintf(streams_.out, "%s: %s\n", title.c_str(), text.c_str());
  std::fflush(streams_.out);
}

void TerminalBackend::waitForEnter() {
  if (!canAsk()) return;
  std::fputs("[OK] ", streams_.out);
  std::fflush(streams_.out);
  readAnswer();
}

std::string TerminalBackend::readAnswer() {
  std::string answer;
  for (int c = std::fgetc(streams_.in); c != EOF && c != '\n'; c = std::fgetc(streams_.in))
    answer.push_back(static_cast<char>(c));
  return answer;
}

ErrorChoice TerminalBackend::errorDialog(const ErrorDialogSpec& dialogSpec) {
  flushPending();
  breakStatusLine();
  std::fprintf(streams_.out, "   Error description: %s\n", dialogSpec.messageLine.c_str());
  if (!canAsk() || policy_ != ErrorPolicy::Ask) {
    const ErrorChoice choice = unattendedChoice(policy_, dialogSpec);
    std::fprintf(streams_.out, "   (answered %s; see Error.log)\n",
                 choice == ErrorChoice::Default ? "Default"
                 : choice == ErrorChoice::Retry ? "Retry"
                                                : "Quit");
    std::fflush(streams_.out);
    return choice;
  }
  for (const auto& line : dialogSpec.stackLines) std::fprintf(streams_.out, "   %s\n", line.c_str());
  std::string prompt;
  for (const auto& b : errorDialogButtons(dialogSpec)) prompt += (prompt.empty() ? "" : ", ") + std::string(buttonKey(b));
  for (;;) {
    std::fprintf(streams_.out, "%s? ", prompt.c_str());
    std::fflush(streams_.out);
    if (std::feof(streams_.in)) return ErrorChoice::Quit;
    const std::string answer = readAnswer();
    const int c = answer.empty() ? 0 : std::tolower(static_cast<unsigned char>(answer[0]));
    if (c == 'q' || (answer.empty() && std::feof(streams_.in))) return ErrorChoice::Quit;
    if (c == 'r' && dialogSpec.allowRetry) return ErrorChoice::Retry;
    if (c == 'd' && dialogSpec.allowDefault) return ErrorChoice::Default;
    if (c == 's') return ErrorChoice::SeeLog;
  }
}

}  // namespace talvor
