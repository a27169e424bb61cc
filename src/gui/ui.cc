#include "gui/ui.h"

#include <cstdlib>
#include <string_view>

#include "gui/none_backend.h"
#include "gui/terminal_backend.h"
#include "services/keyboard.h"
#include "services/runtime.h"

namespace talvor {

DialogRect dialogPixels(const DialogRect& u) {
  // Integer arithmetic keeps the truncation exact (6 * 15.1 = 90.6 -> 90).
  return DialogRect{u.top * 151 / 10, u.left * 79 / 10, u.bottom * 151 / 10, u.right * 79 / 10};
}

std::vector<std::string> errorDialogButtons(const ErrorDialogSpec& dialogSpec) {
  std::vector<std::string> buttons{"&Quit"};
  if (dialogSpec.allowRetry) buttons.emplace_back("&Retry");
  if (dialogSpec.allowDefault) buttons.emplace_back("&Default");
  buttons.emplace_back("See Error.log file");
  return buttons;
}

Ui::Ui(std::unique_ptr<UiBackend> backend) : backend_(std::move(backend)) {}

Ui::~Ui() { closeAll(); }

void Ui::noteClass(const char* name) {
  for (const auto& c : classes_)
    if (c == name) return;
  classes_.emplace_back(name);
}

int Ui::createDialog(std::string title, DialogRect units) {
  noteClass("DIALOG");
  const int id = nextId_++;
  dialogs_[id] = Dialog{std::move(title), units, {}, false};
  return id;
}

int Ui::createTextControl(int dialog, int row, int col, int widthPx, int heightPx,
                          std::function<std::string()> read) {
  noteClass("TEXTCONTROL");
  const int id = nextId_++;
  controls_[id] = Control{dialog, std::move(read)};
  auto it = dialogs_.find(dialog);
  if (it != dialogs_.end()) it->second.controls.push_back(id);
  return id;
}

void Ui::activate(int dialog, bool centred) {
  auto it = dialogs_.find(dialog);
  if (it == dialogs_.end() || it->second.shown) return;
  it->second.shown = true;
  backend_->dialogShown(dialog, it->second.title, it->second.units, centred);
  for (int control : it->second.controls) refresh(control);
}

void Ui::refresh(int control) {
  auto it = controls_.find(control);
  if (it == controls_.end() || !it->second.read) return;
  auto d = dialogs_.find(it->second.dialog);
  if (d == dialogs_.end() || !d->second.shown) return;
  backend_->textShown(it->second.dialog, control, it->second.read());
}

void Ui::end(int dialog) {
  auto it = dialogs_.find(dialog);
  if (it == dialogs_.end()) return;
  const bool shown = it->second.shown;
  for (int control : it->second.controls) controls_.erase(control);
  dialogs_.erase(it);
  if (shown) backend_->dialogClosed(dialog);
  sysRefresh();
}

void Ui::closeAll() {
  for (auto& [id, dialog] : dialogs_)
    if (dialog.shown) backend_->dialogClosed(id);
  dialogs_.clear();
  controls_.clear();
}

bool Ui::sysRefresh() { return backend_->pump(); }

void Ui::setCursor(CursorShape shape) { backend_->cursorSet(shape); }

int Ui::createFont(FontSpec dialogSpec) {
  noteClass("FONT");
  const int id = nextId_++;
  fonts_[id] = std::move(dialogSpec);
  return id;
}

const FontSpec* Ui::font(int id) const {
  auto it = fonts_.find(id);
  return it == fonts_.end() ? nullptr : &it->second;
}

void Ui::msgInfo(const std::string& text, const std::string& title) {
  backend_->messageBox(BoxKind::Info, title, text);
}

void Ui::msgAlert(const std::string& text, const std::string& title) {
  backend_->messageBox(BoxKind::Alert, title, text);
}

void Ui::stopBox(const std::string& text, const std::string& title) {
  backend_->messageBox(BoxKind::Stop, title, text);
}

void Ui::msgWait(const std::string& text, const std::string& title, double seconds) {
  noteClass("DIALOG");
  backend_->noticeShown(title, text, seconds);
  clock().sleepFor(seconds);
  backend_->noticeClosed();
}

ErrorChoice Ui::errorDialog(const ErrorDialogSpec& dialogSpec, const std::function<void()>& seeLog) {
  noteClass("DIALOG");
  for (;;) {
    ErrorChoice choice = backend_->errorDialog(dialogSpec);
    if (choice == ErrorChoice::Retry && !dialogSpec.allowRetry) choice = ErrorChoice::Quit;
    if (choice == ErrorChoice::Default && !dialogSpec.allowDefault) choice = ErrorChoice::Quit;
    if (choice != ErrorChoice::SeeLog) return choice;
    if (seeLog) seeLog();
  }
}

namespace {

struct UiSlot {
  std::unique_ptr<Ui> ui;
};

}  // namespace

Ui& ui() {
  UiSlot& slot = rt().component<UiSlot>();
  if (!slot.ui) slot.ui = std::make_unique<Ui>(backendFromEnvironment());
  return *slot.ui;
}

Ui& useUiBackend(std::unique_ptr<UiBackend> backend) {
  UiSlot& slot = rt().component<UiSlot>();
  slot.ui.reset();
  slot.ui = std::make_unique<Ui>(std::move(backend));
  return *slot.ui;
}

std::unique_ptr<UiBackend> backendFromEnvironment() {
  const char* name = std::getenv("TALVOR_UI");
  if (name && std::string_view(name) == "none")
    return std::make_unique<NoneBackend>(errorPolicyFromEnvironment());
  return std::make_unique<TerminalBackend>(errorPolicyFromEnvironment());
}

bool SYSREFRESH() { return ui().sysRefresh(); }
void CURSORWAIT() { ui().setCursor(CursorShape::Wait); }
void CURSORARROW() { ui().setCursor(CursorShape::Arrow); }
void MSGINFO(const std::string& text, const std::string& title) { ui().msgInfo(text, title); }
void MSGALERT(const std::string& text, const std::string& title) { ui().msgAlert(text, title); }
void MSGWAIT(const std::string& text, const std::string& title, double seconds) {
  ui().msgWait(text, title, seconds);
}

}  // namespace talvor
