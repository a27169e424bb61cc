#include "app/impmain.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "app/handle_count.h"
#include "app/temp_dir.h"
#include "gui/recording_backend.h"
#include "gui/ui.h"
#include "services/runtime.h"

namespace talvor {
namespace {

int thisYear() {
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  return local.tm_year + 1900;
}

RecordingBackend& recordUi() {
  auto backend = std::make_unique<RecordingBackend>();
  RecordingBackend& rec = *backend;
  useUiBackend(std::move(backend));
  return rec;
}

TEST(Impmain, SettingsPublicsAndTheProgressDialog) {
  rt().reset();
  RecordingBackend& rec = recordUi();
  IMPMAIN(Value::text("ignored argument"));
  const Settings& s = rt().settings;
  EXPECT_TRUE(s.deleted);
  EXPECT_TRUE(s.confirm);
  EXPECT_EQ(s.dateFormat, "dd/mm/yy");
  EXPECT_EQ(s.epoch, thisYear() - 80);
  EXPECT_EQ(s.fileHandles, 150);
  EXPECT_TRUE(s.exclusive);

  const Value* wnd = rt().findPublic("OWND");
  ASSERT_NE(wnd, nullptr);
  EXPECT_TRUE(wnd->isNil());
  const Value* font = rt().findPublic("oFontW");
  ASSERT_TRUE(font && font->isNumber());
  const FontSpec* dialogSpec = ui().font(static_cast<int>(font->asDouble()));
  ASSERT_NE(dialogSpec, nullptr);
  EXPECT_EQ(dialogSpec->face, "Arial");
  EXPECT_EQ(dialogSpec->width, 0);
  EXPECT_EQ(dialogSpec->height, -12);
  EXPECT_TRUE(dialogSpec->bold);

  // The dialog opens with "Please Wait.." and closes after the last step.
  const std::vector<std::string> opening{"dialog Importing SAP Data 90,79,196,537",
                                         "text Please Wait..", "cursor wait", "pump"};
  const std::vector<std::string> closing{"close Importing SAP Data", "pump"};
  ASSERT_GE(rec.events.size(), opening.size() + closing.size());
  EXPECT_EQ(std::vector<std::string>(rec.events.begin(), rec.events.begin() + 4), opening);
  EXPECT_EQ(std::vector<std::string>(rec.events.end() - 2, rec.events.end()), closing);
  EXPECT_TRUE(rt().procStack.empty());
  rt().reset();
}

TEST(Impmain, CenturyDisplayGivesFourDigitYears) {
  rt().reset();
  recordUi();
  rt().settings.century = true;
  applyRunSettings();
  EXPECT_EQ(rt().settings.dateFormat, "dd/mm/yyyy");
  rt().reset();
}

TEST(HandleCount, RaisesALowerSoftLimit) {
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  if (saved.rlim_max != RLIM_INFINITY && saved.rlim_max < 150) GTEST_SKIP() << "hard limit below 150";
  rlimit low = saved;
  low.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  EXPECT_EQ(SETHANDLECOUNT(150), 150);
  rlimit now{};
  getrlimit(RLIMIT_NOFILE, &now);
  EXPECT_EQ(now.rlim_cur, 150u);
  EXPECT_EQ(SETHANDLECOUNT(100), 150);  // never lowered
  setrlimit(RLIMIT_NOFILE, &saved);
}

// Runs the real program in the directory without a terminal on stdin or stderr.
int runImport(const ScopedTempDir& dir, const std::string& env = "") {
  const std::string command = "cd '" + dir.path() + "' && " + env + " '" TALVOR_BINARY_DIR
                              "/tools/talvor-import' some-argument </dev/null >out.txt 2>err.txt";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ImportProgram, RunsUnattendedInAnEmptyFolder) {
  ScopedTempDir dir;
  const int code = runImport(dir);
  const std::string err = dir.read("err.txt");
  EXPECT_NE(err.find("Importing SAP Data: Please Wait..\n"), std::string::npos) << err;
  // Exit 1 exactly when the run met an error: Error.log then tells which.
  if (code == 0) {
    EXPECT_FALSE(dir.exists("Error.log")) << err;
  } else {
    EXPECT_EQ(code, 1) << err;
    const std::string log = dir.read("Error.log");
    EXPECT_NE(log.find("   Error description: "), std::string::npos);
    EXPECT_NE(log.find("   Called from KORVEN("), std::string::npos);
    EXPECT_NE(err.find("(answered Quit; see Error.log)"), std::string::npos) << err;
  }
  EXPECT_EQ(runImport(dir, "TALVOR_UI=none"), code);
  EXPECT_EQ(dir.read("err.txt").find("Importing SAP Data"), std::string::npos);
}

}  // namespace
}  // namespace talvor
