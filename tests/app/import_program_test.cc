// The real talvor-import program run unattended (no terminal on stdin or
// stderr): how it ends in a folder without its tables, and that it runs to its
// end where only the exports are missing.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "app/temp_dir.h"

namespace talvor {
namespace {

int run(const ScopedTempDir& dir, const std::string& command) {
  const int status = std::system(("cd '" + dir.path() + "' && " + command).c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int runImport(const ScopedTempDir& dir, const std::string& env) {
  return run(dir, env + " '" TALVOR_BINARY_DIR "/tools/talvor-import' </dev/null >out.txt 2>err.txt");
}

TEST(ImportProgram, EmptyFolderEndsWithExitCode1AnErrorLogAndOneLine) {
  ScopedTempDir dir;
  EXPECT_EQ(runImport(dir, "TALVOR_UI=none"), 1);
  const std::string err = dir.read("err.txt");
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_NE(err.find("Open error: zalf.dbf"), std::string::npos) << err;
  EXPECT_NE(err.find("Error.log"), std::string::npos) << err;
  const std::string log = dir.read("Error.log");
  EXPECT_NE(log.find("   Error description: (DOS Error 2) DBFNTX/1001  Open error: zalf.dbf"), std::string::npos);

  // Answering Default gets past every open error; the run then stops at the first
  // error that offers no default (a table the steps need is not there at all).
  EXPECT_EQ(runImport(dir, "TALVOR_UI=none TALVOR_ON_ERROR=default"), 1);
  EXPECT_NE(dir.read("Error.log").find("Alias does not exist"), std::string::npos);
}

TEST(ImportProgram, MissingExportsOnlyRunsToItsEndUnderTheDefaultAnswer) {
  ScopedTempDir dir;
  ASSERT_EQ(run(dir, "'" TALVOR_BINARY_DIR "/tools/talvor-demo' . --rows 5 >/dev/null && rm -f *.txt *.csv"), 0);
  EXPECT_EQ(runImport(dir, "TALVOR_UI=none TALVOR_ON_ERROR=default"), 0);
  const std::string err = dir.read("err.txt");
  EXPECT_NE(err.find("warning: metdisc.txt: missing; the table is left empty"), std::string::npos) << err;
  EXPECT_NE(err.find("warning: finsku.txt: missing; the table is left empty"), std::string::npos) << err;
}

}  // namespace
}  // namespace talvor
