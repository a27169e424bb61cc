#include <gtest/gtest.h>

#include "services/error.h"
#include "services/runtime.h"

namespace talvor {
namespace {

TEST(MessageLine, Shapes) {
  struct Case {
    RuntimeError error;
    const char* expected;
  };
  RuntimeError open = makeEngineError("DBFNTX", 1001, "zalf.dbf", 32);
  RuntimeError noTable = makeError("DBCMD", gen::NoTable, 2001, "DBSKIP");
  RuntimeError bare;
  bare.genCode = gen::ZeroDivisor;
  RuntimeError warning = makeError("BASE", gen::ArgumentError, 0, "STR");
  warning.severity = Severity::Warning;
  const Case cases[] = {
      {open, "(DOS Error 32) DBFNTX/1001  Open error: zalf.dbf"},
      {noTable, "Error DBCMD/2001  Workarea not in use: DBSKIP"},
      {bare, "Error ???" "/???  Zero divisor"},
      {warning, "Warning BASE/???" "  Argument error: STR"},
  };
  for (auto& c : cases) {
    RuntimeError e = c.error;
    if (e.description.empty()) e.description = genericText(e.genCode);
    EXPECT_EQ(e.messageLine(), c.expected);
  }
}

TEST(SubcodeTable, GenericCodes) {
  const std::pair<int, int> table[] = {{1001, 21}, {1004, 20}, {1010, 23}, {1011, 24},
                                       {1012, 32}, {1020, 33}, {1021, 34}, {1022, 38},
                                       {1023, 37}, {1024, 40}, {1025, 39}, {1038, 41},
                                       {1999, 30}};
  for (auto [sub, code] : table) EXPECT_EQ(genericCodeForSubcode(sub), code) << sub;
}

TEST(RaisePath, HandlerAnswersAndCountsTries) {
  rt().reset();
  int calls = 0;
  rt().errorHandler = [&](RuntimeError& e) {
    ++calls;
    return ErrorAnswer{e.tries < 3 ? Answer::Retry : Answer::Default, {}};
  };
  RuntimeError e = makeEngineError("DBFNTX", 1001, "x.dbf", 2);
  e.canRetry = true;
  int attempts = 0;
  do ++attempts; while (raiseWantsRetry(e));
  EXPECT_EQ(attempts, 3);
  EXPECT_EQ(calls, 3);
  rt().reset();
}

}  // namespace
}  // namespace talvor
