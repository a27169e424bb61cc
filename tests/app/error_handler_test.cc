#include "app/error_handler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/error_log.h"
#include "app/temp_dir.h"
#include "gui/recording_backend.h"
#include "gui/ui.h"
#include "services/runtime.h"

namespace talvor {
namespace {

class ErrorHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rt().reset();
    auto backend = std::make_unique<RecordingBackend>();
    rec_ = backend.get();
    useUiBackend(std::move(backend));
    ERRORSYS();
  }
  void TearDown() override { rt().reset(); }
  ScopedTempDir dir_;
  RecordingBackend* rec_ = nullptr;
};

RuntimeError openError(int osCode, bool canDefault) {
  RuntimeError e = makeEngineError("DBFNTX", 1001, "zalf.dbf", osCode);
  e.canDefault = canDefault;
  e.canRetry = true;
  return e;
}

RuntimeError appendLockError(bool canDefault) {
  RuntimeError e = makeEngineError("DBFNTX", 1024);
  e.canDefault = canDefault;
  return e;
}

TEST_F(ErrorHandlerTest, RulesInOrder) {
  RuntimeError zero = makeError("BASE", gen::ZeroDivisor, 1340, "/");
  zero.canSubstitute = true;
  RuntimeError noTable = makeError("DBCMD", gen::NoTable, 2001, "DBSKIP");
  noTable.canDefault = true;
  struct Case {
    const char* name;
    RuntimeError error;
    Answer answer;
    bool netErr;
    bool dialog;
  };
  const Case cases[] = {
      {"zero divisor", zero, Answer::Substitute, false, false},
      {"open refused by sharing", openError(32, true), Answer::Default, true, false},
      {"open access denied", openError(5, true), Answer::Default, true, false},
      {"open of a missing file", openError(2, true), Answer::Default, false, true},
      {"sharing refusal without default", openError(32, false), Answer::Retry, false, true},
      {"append lock", appendLockError(true), Answer::Default, true, false},
      {"append lock without default", appendLockError(false), Answer::Retry, false, true},
      {"workarea not in use", noTable, Answer::Default, false, true},
  };
  for (const Case& c : cases) {
    SetUp();
    std::filesystem::remove("Error.log");
    rec_->errorChoices = {c.answer == Answer::Retry ? ErrorChoice::Retry : ErrorChoice::Default};
    RuntimeError e = c.error;
    if (c.answer == Answer::Retry) e.canRetry = true;
    const ErrorAnswer a = raise(e);
    EXPECT_EQ(a.action, c.answer) << c.name;
    if (c.answer == Answer::Substitute) {
      ASSERT_TRUE(a.value.isNumber());
      EXPECT_EQ(a.value.asDouble(), 0.0);
    }
    EXPECT_EQ(rt().netErr, c.netErr) << c.name;
    EXPECT_EQ(rec_->errorDialogs.size(), c.dialog ? 1u : 0u) << c.name;
    EXPECT_EQ(dir_.exists("Error.log"), c.dialog) << c.name;
    if (c.dialog) {
      EXPECT_EQ(rec_->errorDialogs[0].messageLine, e.messageLine());
    }
  }
}

TEST_F(ErrorHandlerTest, QuitOrClosingEndsTheProgramWithExitCode1) {
  RuntimeError e = makeError("DBCMD", gen::NoTable, 2001, "DBSKIP");
  e.canDefault = true;
  rec_->errorChoices = {ErrorChoice::Quit};
  try {
    raise(e);
    FAIL() << "no ProgramExit";
  } catch (const ProgramExit& exit) {
    EXPECT_EQ(exit.code, 1);
  }
  // With nothing scripted the dialog is closed, which quits as well.
  EXPECT_THROW(raise(e), ProgramExit);
}

TEST_F(ErrorHandlerTest, RetryRepeatsTheOperationAndDefaultKeepsTheRules) {
  int attempts = 0;
  auto operation = [&]() -> bool {
    for (;;) {
      ++attempts;
      if (attempts >= 3) return true;
      RuntimeError e = makeEngineError("DBFNTX", 1001, "metkit.ntx", 2);
      e.canRetry = true;
      e.canDefault = true;
      if (raise(e).action != Answer::Retry) return false;
    }
  };
  rec_->errorChoices = {ErrorChoice::Retry, ErrorChoice::Retry};
  EXPECT_TRUE(operation());
  EXPECT_EQ(attempts, 3);
  EXPECT_EQ(rec_->errorDialogs.size(), 2u);

  rec_->errorChoices = {ErrorChoice::Default};
  attempts = 0;
  EXPECT_FALSE(operation());
  // After a Default answer the quiet rules still hold.
  RuntimeError shared = openError(32, true);
  EXPECT_EQ(raise(shared).action, Answer::Default);
  EXPECT_TRUE(rt().netErr);
  EXPECT_EQ(rec_->errorDialogs.size(), 3u);
}

TEST_F(ErrorHandlerTest, ErrorWhileReportingShowsTheStopBoxAndEnds) {
  engineReportSource().areasInUse = []() -> std::vector<AreaReport> {
    RuntimeError inner = makeError("BASE", gen::ArgumentError, 1099, "SUBSTR");
    raise(inner);
    return {};
  };
  RuntimeError e = makeError("DBCMD", gen::NoTable, 2001, "DBSKIP");
  e.canDefault = true;
  rec_->errorChoices = {ErrorChoice::Default};
  EXPECT_THROW(raise(e), ProgramExit);
  ASSERT_EQ(rec_->eventsStartingWith("stop").size(), 1u);
  EXPECT_EQ(rec_->eventsStartingWith("stop")[0],
            "stop Error: Error BASE/1099  Argument error: SUBSTR from Errorsys, line: 40");
  EXPECT_TRUE(rec_->errorDialogs.empty());
  // The handler is usable again afterwards.
  engineReportSource().areasInUse = nullptr;
  rec_->errorChoices = {ErrorChoice::Default};
  EXPECT_EQ(raise(e).action, Answer::Default);
}

TEST_F(ErrorHandlerTest, SeeErrorLogOpensTheReportAndKeepsTheDialog) {
  std::vector<std::string> opened;
  setLogViewer([&](const std::string& path) { opened.push_back(path); });
  RuntimeError e = makeError("DBCMD", gen::NoAlias, 1002, "metkit");
  e.canDefault = true;
  rec_->errorChoices = {ErrorChoice::SeeLog, ErrorChoice::Default};
  EXPECT_EQ(raise(e).action, Answer::Default);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], dir_.path() + "/Error.log");
}

TEST_F(ErrorHandlerTest, ErrorLogHoldsEverySectionInOrder) {
  ProcScope outer("IMPMAIN", 12);
  outer.variable("ARGUMENT", [] { return Value(); });
  ProcScope inner("KORVEN", 34);
  inner.variable("CMSG", [] { return Value::text("Please Wait.."); });
  ui().createDialog("Importing SAP Data", {6, 10, 13, 68});
  engineReportSource().linkedDrivers = [] {
    return std::vector<std::string>{"DBF", "DBFDBT", "DBFNTX"};
  };
  engineReportSource().areasInUse = [] {
    AreaReport a;
    a.area = 3;
    a.current = true;
    a.alias = "PRICESKU";
    a.driver = "DBFNTX";
    a.recNo = 1;
    a.recCount = 10;
    a.orders.push_back({"str(matl_no,6)", "PRICESKU", true});
    return std::vector<AreaReport>{a};
  };
  RuntimeError e = makeEngineError("DBFNTX", 1001, "zalf.dbf", 2);
  e.canDefault = true;
  e.args = {Value::text("zalf"), Value::integer(42), Value::logical(true)};
  rec_->errorChoices = {ErrorChoice::Default};
  raise(e);
  const std::string log = dir_.read("Error.log");

  const char* sections[] = {"Application", "Stack Calls",      "System",
                            "Variables in use", "Linked RDDs", "DataBases in use",
                            "Classes in use:",  "Memory Analysis"};
  std::size_t at = 0;
  for (const char* s : sections) {
    const std::string heading = std::string(s) + "\n" + std::string(std::strlen(s), '=') + "\n";
    const std::size_t found = log.find(heading, at);
    ASSERT_NE(found, std::string::npos) << s << "\n" << log;
    at = found + heading.size();
  }
  const char* lines[] = {
      "   Path and name: ",
      "   Error description: (DOS Error 2) DBFNTX/1001  Open error: zalf.dbf\n",
      "   Args:\n     [   1] = C   zalf\n     [   2] = N   42\n     [   3] = L   .T.\n",
      "   Called from KORVEN(34)\n   Called from IMPMAIN(12)\n",
      "      CMSG = C   Please Wait..\n",
      "   DBF\n   DBFDBT\n   DBFNTX\n",
      "   3: => PRICESKU   RDD: DBFNTX   Record: 1 of 10",
      "        => 1: str(matl_no,6)   Tag: PRICESKU\n",
      "   DIALOG\n",
  };
  for (const char* l : lines) EXPECT_NE(log.find(l), std::string::npos) << l << "\n" << log;
  EXPECT_NE(log.find(" bits)\n"), std::string::npos);
  EXPECT_NE(log.find(" bytes\n   Time from start: "), std::string::npos);
}

TEST(ErrorLogFormat, FileSizePictureAndStackLimit) {
  const std::pair<int64_t, const char*> sizes[] = {
      {0, "        0 bytes"},     {999, "      999 bytes"},   {1234, "    1,234 bytes"},
      {123456, "  123,456 bytes"}, {1234567, "1,234,567 bytes"}, {10000000, "********* bytes"}};
  for (auto [n, text] : sizes) EXPECT_EQ(formatFileSize(n), text) << n;

  rt().reset();
  std::vector<std::unique_ptr<ProcScope>> frames;
  for (int i = 0; i < 80; ++i) frames.push_back(std::make_unique<ProcScope>("P" + std::to_string(i), i));
  const auto lines = stackCallLines();
  ASSERT_EQ(lines.size(), 72u);
  EXPECT_EQ(lines.front(), "Called from P79(79)");
  frames.clear();
  rt().reset();
}

}  // namespace
}  // namespace talvor
