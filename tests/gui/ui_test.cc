#include "gui/ui.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "gui/error_policy.h"
#include "gui/none_backend.h"
#include "gui/recording_backend.h"
#include "gui/terminal_backend.h"
#include "gui/test_clock.h"
#include "services/runtime.h"

namespace talvor {
namespace {

class UiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rt().reset();
    clock_ = std::make_shared<TestClock>();
    setClock(clock_);
    auto backend = std::make_unique<RecordingBackend>();
    rec_ = backend.get();
    useUiBackend(std::move(backend));
  }
  void TearDown() override { rt().reset(); }
  std::shared_ptr<TestClock> clock_;
  RecordingBackend* rec_ = nullptr;
};

TEST_F(UiTest, BoundTextControlShowsTheVariableAtEachRefresh) {
  std::string message = "Please Wait..";
  Ui& u = ui();
  const int dialog = u.createDialog("Importing SAP Data", DialogRect{6, 10, 13, 68});
  const int control = u.createTextControl(dialog, 1, 3, 180, 12, [&] { return message; });
  u.refresh(control);  // not shown yet: nothing to draw
  u.activate(dialog);
  message = "Step two";
  u.refresh(control);
  EXPECT_TRUE(SYSREFRESH());
  rec_->pumpResults = {false};
  EXPECT_FALSE(SYSREFRESH());
  u.end(dialog);
  u.refresh(control);  // a control of an ended dialog is gone
  const std::vector<std::string> expected{
      "dialog Importing SAP Data 90,79,196,537", "text Please Wait..", "text Step two", "pump",
      "pump", "close Importing SAP Data", "pump"};
  EXPECT_EQ(rec_->events, expected);
}

TEST_F(UiTest, ClassesInUseInOrderOfFirstCreation) {
  Ui& u = ui();
  u.createFont(FontSpec{"Arial", 0, -12, true});
  const int d = u.createDialog("a", {});
  u.createTextControl(d, 0, 0, 1, 1, [] { return std::string(); });
  u.createDialog("b", {});
  EXPECT_EQ(u.classesInUse(), (std::vector<std::string>{"FONT", "DIALOG", "TEXTCONTROL"}));
  ASSERT_NE(u.font(1), nullptr);
  EXPECT_EQ(u.font(1)->height, -12);
  EXPECT_EQ(u.font(99), nullptr);
}

TEST_F(UiTest, MessageBoxesAndTimedNoticeOnTheRunTimesClock) {
  MSGINFO("saved");
  MSGALERT("no table");
  MSGWAIT("Unable to add record.", "Information", 2);
  CURSORWAIT();
  CURSORARROW();
  const std::vector<std::string> expected{
      "info Information: saved", "alert Alert: no table",
      "notice Information: Unable to add record. (2 s)", "notice closed", "cursor wait",
      "cursor arrow"};
  EXPECT_EQ(rec_->events, expected);
  EXPECT_DOUBLE_EQ(clock_->slept, 2.0);
}

TEST_F(UiTest, ErrorDialogButtonsAndAnswers) {
  struct Case {
    bool retry, dflt;
    std::vector<ErrorChoice> script;
    ErrorChoice expected;
    const char* buttons;
  };
  const Case cases[] = {
      {false, false, {}, ErrorChoice::Quit, "[&Quit|See Error.log file]"},
      {true, true, {ErrorChoice::Retry}, ErrorChoice::Retry,
       "[&Quit|&Retry|&Default|See Error.log file]"},
      {false, true, {ErrorChoice::Default}, ErrorChoice::Default,
       "[&Quit|&Default|See Error.log file]"},
      // an answer the dialog does not offer closes it
      {false, false, {ErrorChoice::Default}, ErrorChoice::Quit, "[&Quit|See Error.log file]"},
      // "See Error.log file" keeps the dialog open
      {false, true, {ErrorChoice::SeeLog, ErrorChoice::Default}, ErrorChoice::Default,
       "[&Quit|&Default|See Error.log file]"},
  };
  for (const Case& c : cases) {
    SetUp();
    rec_->errorChoices.assign(c.script.begin(), c.script.end());
    ErrorDialogSpec dialogSpec{"Error X/1  Y", {"Called from A(1)"}, c.retry, c.dflt};
    int seen = 0;
    EXPECT_EQ(ui().errorDialog(dialogSpec, [&] { ++seen; }), c.expected);
    EXPECT_EQ(seen, c.script.empty() || c.script[0] != ErrorChoice::SeeLog ? 0 : 1);
    ASSERT_FALSE(rec_->events.empty());
    EXPECT_NE(rec_->events.back().find(c.buttons), std::string::npos) << rec_->events.back();
  }
}

TEST(ErrorPolicy, UnattendedAnswers) {
  const ErrorDialogSpec both{"m", {}, true, true};
  const ErrorDialogSpec none{"m", {}, false, false};
  EXPECT_EQ(unattendedChoice(ErrorPolicy::Ask, both), ErrorChoice::Quit);
  EXPECT_EQ(unattendedChoice(ErrorPolicy::Quit, both), ErrorChoice::Quit);
  EXPECT_EQ(unattendedChoice(ErrorPolicy::Default, both), ErrorChoice::Default);
  EXPECT_EQ(unattendedChoice(ErrorPolicy::Retry, both), ErrorChoice::Retry);
  EXPECT_EQ(unattendedChoice(ErrorPolicy::Default, none), ErrorChoice::Quit);
  EXPECT_EQ(unattendedChoice(ErrorPolicy::Retry, none), ErrorChoice::Quit);

  const std::pair<const char*, ErrorPolicy> env[] = {{"ask", ErrorPolicy::Ask},
                                                     {"quit", ErrorPolicy::Quit},
                                                     {"default", ErrorPolicy::Default},
                                                     {"retry", ErrorPolicy::Retry},
                                                     {"bogus", ErrorPolicy::Ask}};
  for (auto [value, policy] : env) {
    setenv("TALVOR_ON_ERROR", value, 1);
    EXPECT_EQ(errorPolicyFromEnvironment(), policy) << value;
  }
  unsetenv("TALVOR_ON_ERROR");
  EXPECT_EQ(errorPolicyFromEnvironment(), ErrorPolicy::Ask);
}

TEST(UiEnvironment, TalvorUiChoosesTheBackend) {
  setenv("TALVOR_UI", "none", 1);
  EXPECT_NE(dynamic_cast<NoneBackend*>(backendFromEnvironment().get()), nullptr);
  setenv("TALVOR_UI", "terminal", 1);
  EXPECT_NE(dynamic_cast<TerminalBackend*>(backendFromEnvironment().get()), nullptr);
  unsetenv("TALVOR_UI");
  EXPECT_NE(dynamic_cast<TerminalBackend*>(backendFromEnvironment().get()), nullptr);
}

// A terminal backend writing into memory, with a scripted input.
class TerminalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rt().reset();
    clock_ = std::make_shared<TestClock>();
    setClock(clock_);
    out_ = open_memstream(&buf_, &len_);
  }
  void TearDown() override {
    if (out_) std::fclose(out_);
    std::free(buf_);
    if (in_) std::fclose(in_);
    rt().reset();
  }
  Ui& start(bool terminal, ErrorPolicy policy = ErrorPolicy::Ask, const char* input = "") {
    input_ = input;
    in_ = fmemopen(input_.data(), input_.size() + 1, "r");
    TerminalStreams s{out_, in_, terminal, terminal};
    return useUiBackend(std::make_unique<TerminalBackend>(policy, s));
  }
  std::string output() {
    std::fflush(out_);
    return std::string(buf_, len_);
  }
  void runSteps(Ui& u, int counts) {
    std::string message;
    const int d = u.createDialog("Importing SAP Data", {6, 10, 13, 68});
    const int c = u.createTextControl(d, 1, 3, 180, 12, [&] { return message; });
    message = "Processing A...";
    u.activate(d);
    for (int i = 1; i <= counts; ++i) {
      message = "Records Added to DATA1 " + std::to_string(i);
      u.refresh(c);
      clock_->time += 0.0001;
    }
    message = "Processing B...";
    u.refresh(c);
    u.end(d);
  }
  std::shared_ptr<TestClock> clock_;
  char* buf_ = nullptr;
  std::size_t len_ = 0;
  std::FILE* out_ = nullptr;
  std::FILE* in_ = nullptr;
  std::string input_;
};

TEST_F(TerminalTest, WithoutTerminalOneLinePerStepAndTheLastCount) {
  Ui& u = start(false);
  runSteps(u, 100000);
  EXPECT_EQ(output(),
            "Importing SAP Data: Processing A...\n"
            "Importing SAP Data: Records Added to DATA1 1\n"
            "Importing SAP Data: Records Added to DATA1 100000\n"
            "Importing SAP Data: Processing B...\n");
}

TEST_F(TerminalTest, OnTerminalCountsRedrawInPlaceThrottled) {
  Ui& u = start(true);
  runSteps(u, 100000);  // ten seconds of counting on the test clock
  const std::string out = output();
  std::size_t redraws = 0;
  for (char ch : out) redraws += ch == '\r';
  EXPECT_GE(redraws, 150u);
  EXPECT_LE(redraws, 215u);  // about 20 a second, plus the steps
  EXPECT_NE(out.find("\rImporting SAP Data: Records Added to DATA1 100000\033[K"
                     "\rImporting SAP Data: Processing B...\033[K\n"),
            std::string::npos);
}

TEST_F(TerminalTest, ErrorDialogAnswers) {
  struct Case {
    bool terminal;
    ErrorPolicy policy;
    const char* input;
    ErrorChoice expected;
    int logShown;
  };
  const Case cases[] = {
      {false, ErrorPolicy::Ask, "d\n", ErrorChoice::Quit, 0},  // nobody to ask: quit
      {false, ErrorPolicy::Default, "", ErrorChoice::Default, 0},
      {true, ErrorPolicy::Ask, "x\nd\n", ErrorChoice::Default, 0},
      {true, ErrorPolicy::Ask, "s\nQ\n", ErrorChoice::Quit, 1},
      {true, ErrorPolicy::Ask, "r\n", ErrorChoice::Quit, 0},  // retry not offered; input ends
      {true, ErrorPolicy::Retry, "", ErrorChoice::Quit, 0},
  };
  for (const Case& c : cases) {
    TearDown();
    in_ = nullptr;
    buf_ = nullptr;
    SetUp();
    Ui& u = start(c.terminal, c.policy, c.input);
    ErrorDialogSpec dialogSpec{"Error DBCMD/2001  Workarea not in use: DBSKIP", {"Called from A(3)"},
                         false, true};
    int shown = 0;
    EXPECT_EQ(u.errorDialog(dialogSpec, [&] { ++shown; }), c.expected) << c.input;
    EXPECT_EQ(shown, c.logShown) << c.input;
    EXPECT_NE(output().find("Error description: Error DBCMD/2001  Workarea not in use: DBSKIP"),
              std::string::npos);
  }
}

}  // namespace
}  // namespace talvor
