#include "gui/recording_backend.h"

#include <cstdio>

namespace talvor {

namespace {

const char* choiceName(ErrorChoice c) {
  switch (c) {
    case ErrorChoice::Quit: return "Quit";
    case ErrorChoice::Retry: return "Retry";
    case ErrorChoice::Default: return "Default";
    case ErrorChoice::SeeLog: return "SeeLog";
  }
  return "?";
}

const char* boxName(BoxKind k) {
  switch (k) {
    case BoxKind::Info: return "info";
    case BoxKind::Alert: return "alert";
    case BoxKind::Stop: return "stop";
  }
  return "?";
}

}  // namespace

void RecordingBackend::dialogShown(int dialog, const std::string& title, const DialogRect& units,
                                   bool centred) {
  titles_[dialog] = title;
  const DialogRect px = dialogPixels(units);
  events.push_back("dialog " + title + " " + std::to_string(px.top) + "," +
                   std::to_string(px.left) + "," + std::to_string(px.bottom) + "," +
                   std::to_string(px.right) + (centred ? " centred" : ""));
}

void RecordingBackend::textShown(int, int, const std::string& text) {
  if (recordProgress) events.push_back("text " + text);
}

void RecordingBackend::dialogClosed(int dialog) {
  events.push_back("close " + titles_[dialog]);
  titles_.erase(dialog);
}

bool RecordingBackend::pump() {
  if (recordProgress) events.emplace_back("pump");
  if (pumpResults.empty()) return true;
  const bool result = pumpResults.front();
  pumpResults.pop_front();
  return result;
}

void RecordingBackend::cursorSet(CursorShape shape) {
  events.emplace_back(shape == CursorShape::Wait ? "cursor wait" : "cursor arrow");
}

void RecordingBackend::messageBox(BoxKind kind, const std::string& title, const std::string& text) {
  events.push_back(std::string(boxName(kind)) + " " + title + ": " + text);
}

void RecordingBackend::noticeShown(const std::string& title, const std::string& text,
                                   double seconds) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", seconds);
  events.push_back("notice " + title + ": " + text + " (" + buf + " s)");
}

void RecordingBackend::noticeClosed() { events.emplace_back("notice closed"); }

ErrorChoice RecordingBackend::errorDialog(const ErrorDialogSpec& dialogSpec) {
  errorDialogs.push_back(dialogSpec);
  ErrorChoice choice = ErrorChoice::Quit;
  if (!errorChoices.empty()) {
    choice = errorChoices.front();
    errorChoices.pop_front();
  }
  std::string buttons;
  for (const auto& b : errorDialogButtons(dialogSpec)) buttons += (buttons.empty() ? "" : "|") + b;
  events.push_back("error " + dialogSpec.messageLine + " [" + buttons + "] -> " + choiceName(choice));
  return choice;
}

std::vector<std::string> RecordingBackend::eventsStartingWith(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const auto& e : events)
    if (e.compare(0, prefix.size(), prefix) == 0) out.push_back(e);
  return out;
}

}  // namespace talvor
