// The order list, seeks and key-order navigation of the index layer, on real
// tables and index files.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "rdd/area_registry.h"
#include "rdd/db_commands.h"
#include "rdd/dbfntx/order_commands.h"
#include "rdd/ntx_area.h"
#include "rdd/table_ops.h"
#include "services/runtime.h"
#include "support/scratch_folder_test.h"

namespace talvor {
namespace {

Value text(const char* s) { return Value::text(s); }

class OrderArea : public CollectingErrorsTest {
 protected:
  // A table "t" with a C(3) field CODE and N(6) field NUM holding the rows in order.
  void makeTable(const std::vector<std::pair<std::string, int>>& rows, bool shared = false) {
    DBCREATE(text("t"), Value::array({fieldRow("CODE", "C", 3), fieldRow("NUM", "N", 6)}));
    DBUSEAREA(Value::logical(false), Value(), text("t"), Value(), Value::logical(shared), Value::logical(false));
    for (const auto& [code, num] : rows) {
      DBAPPEND();
      FIELDPUT(Value::integer(1), Value::text(code));
      FIELDPUT(Value::integer(2), Value::integer(num));
    }
    DBCOMMIT();
  }
  // The current CODE without its trailing blanks.
  std::string code() {
    std::string c = FIELDGET(Value::integer(1)).asText();
    return c.erase(c.find_last_not_of(' ') + 1);
  }
  // The CODE values walking the controlling order from the top (or bottom).
  std::vector<std::string> walk(bool backwards = false) {
    std::vector<std::string> seen;
    if (backwards) {
      DBGOBOTTOM();
      for (; !BOF().asLogical(); DBSKIP(Value::integer(-1))) seen.insert(seen.begin(), code());
    } else {
      DBGOTOP();
      for (; !EOF_().asLogical(); DBSKIP()) seen.push_back(code());
    }
    return seen;
  }
  NtxArea* area() { return dynamic_cast<NtxArea*>(currentArea()); }
};

TEST_F(OrderArea, SeeksCharacterKeysByPrefixSoftAndLast) {
  makeTable({{"ACA", 1}, {"ABD", 2}, {"AAZ", 3}, {"ABC", 4}, {"ABD", 5}});
  DBCREATEINDEX(text("codes"), text("code"));
  EXPECT_EQ(walk(), (std::vector<std::string>{"AAZ", "ABC", "ABD", "ABD", "ACA"}));
  EXPECT_EQ(walk(true), walk());

  struct Case {
    const char* sought;
    bool soft;
    bool last;
    bool found;
    double recno;  // 6 = the phantom record past the end
  } cases[] = {
      {"AB", false, false, true, 4},   {"ABX", false, false, false, 6}, {"ABX", true, false, false, 1},
      {"ABD", false, true, true, 5},   {"AB", false, true, true, 5},    {"ABCDEF", false, false, true, 4},
      {"Z", true, false, false, 6},    {"", false, false, true, 3},
  };
  for (const Case& c : cases) {
    const bool found = DBSEEK(text(c.sought), Value::logical(c.soft), Value::logical(c.last)).asLogical();
    EXPECT_EQ(found, c.found) << c.sought;
    EXPECT_EQ(FOUND().asLogical(), c.found) << c.sought;
    EXPECT_EQ(RECNO().asDouble(), c.recno) << c.sought;
    EXPECT_EQ(EOF_().asLogical(), c.recno == 6) << c.sought;
  }
  // The found flag lives until the next positioning.
  DBSEEK(text("AB"));
  DBSKIP();
  EXPECT_FALSE(FOUND().asLogical());
}

TEST_F(OrderArea, SeeksPassOverDeletedRecordsUnderSetDeleted) {
  makeTable({{"ABC", 1}, {"ABC", 2}, {"ABD", 3}, {"ABE", 4}});
  DBCREATEINDEX(text("codes"), text("code"));
  for (int r : {1, 3}) {
    DBGOTO(Value::integer(r));
    DBDELETE();
  }
  rt().settings.deleted = true;
  EXPECT_TRUE(DBSEEK(text("ABC")).asLogical());
  EXPECT_EQ(RECNO().asDouble(), 2);
  EXPECT_FALSE(DBSEEK(text("ABD")).asLogical());
  EXPECT_TRUE(EOF_().asLogical());
  EXPECT_FALSE(DBSEEK(text("ABD"), Value::logical(true)).asLogical());
  EXPECT_EQ(RECNO().asDouble(), 4);  // soft: the next visible key
  EXPECT_EQ(walk(), (std::vector<std::string>{"ABC", "ABE"}));
  EXPECT_EQ(walk(true), walk());
  rt().settings.deleted = false;
  EXPECT_EQ(walk().size(), 4u);
}

TEST_F(OrderArea, NumericAndPaddedKeys) {
  makeTable({{"12 ", 50}, {"1  ", -5}, {"123", 5}, {"9  ", 0}});
  DBCREATEINDEX(text("nums"), text("num"));
  // Numbers sort negative first; DBSEEK(5) seeks "000005".
  EXPECT_EQ(walk(), (std::vector<std::string>{"1", "9", "123", "12"}));
  EXPECT_TRUE(DBSEEK(Value::integer(5)).asLogical());
  EXPECT_EQ(code(), "123");
  EXPECT_TRUE(DBSEEK(Value::integer(-5)).asLogical());
  EXPECT_EQ(code(), "1");
  EXPECT_FALSE(DBSEEK(Value::integer(6)).asLogical());

  DBCREATEINDEX(text("codes"), text("code"));
  // "12" matches the key "12 " exactly as well as a prefix of "123": the first in key order wins.
  EXPECT_TRUE(DBSEEK(text("12")).asLogical());
  EXPECT_EQ(RECNO().asDouble(), 1);
  EXPECT_TRUE(DBSEEK(text("12 ")).asLogical());
  EXPECT_EQ(RECNO().asDouble(), 1);
  // A value of another kind finds nothing.
  EXPECT_FALSE(DBSEEK(Value::array({})).asLogical());
  EXPECT_TRUE(EOF_().asLogical());
}

TEST_F(OrderArea, OrderListFocusAndOrderInformation) {
  makeTable({{"B", 2}, {"A", 3}, {"C", 1}});
  DBCREATEINDEX(text("metkit"), text("str(num,6)"), Value(), Value());
  EXPECT_EQ(INDEXKEY(Value::integer(0)).asText(), "STR(NUM,6)");
  EXPECT_EQ(ORDNAME(Value::integer(0)).asText(), "metkit");
  DBCREATEINDEX(text("codes"), text("code"));
  ORDLISTCLEAR();
  ORDLISTADD(text("metkit"));
  ORDLISTADD(text("CODES.NTX"));
  EXPECT_EQ(INDEXORD().asDouble(), 1);
  EXPECT_EQ(code(), "C");  // the first add went to the first key

  EXPECT_EQ(ORDSETFOCUS(text("codes")).asText(), "metkit");
  EXPECT_EQ(INDEXORD().asDouble(), 2);
  EXPECT_EQ(walk(), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(ORDSETFOCUS(text("METKIT")).asText(), "CODES");  // named as the file was given
  EXPECT_EQ(walk(), (std::vector<std::string>{"C", "B", "A"}));
  DBGOTO(Value::integer(2));
  EXPECT_EQ(ORDSETFOCUS(Value::integer(0)).asText(), "metkit");
  EXPECT_EQ(RECNO().asDouble(), 2);  // the pointer does not move
  EXPECT_EQ(INDEXORD().asDouble(), 0);
  EXPECT_EQ(walk(), (std::vector<std::string>{"B", "A", "C"}));
  EXPECT_EQ(ORDSETFOCUS(text("nothing")).asText(), "");
  EXPECT_EQ(INDEXORD().asDouble(), 0);
  DBSETORDER(text("2"));
  EXPECT_EQ(ORDNAME().asText(), "CODES");
  EXPECT_EQ(ORDKEY(Value::integer(1)).asText(), "STR(NUM,6)");

  Value v;
  ASSERT_TRUE(area()->orderInfo(OrderInfoItem::KeyCount, 0, v));
  EXPECT_EQ(v.asDouble(), 3);
  DBSEEK(text("B"));
  ASSERT_TRUE(area()->orderInfo(OrderInfoItem::KeyPosition, 0, v));
  EXPECT_EQ(v.asDouble(), 2);
  ASSERT_TRUE(area()->orderInfo(OrderInfoItem::Count, 0, v));
  EXPECT_EQ(v.asDouble(), 2);

  ORDLISTCLEAR();
  errors.clear();
  DBSEEK(text("A"));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].genCode, gen::NotIndexed);
  EXPECT_EQ(errors[0].subCode, 1201);
}

TEST_F(OrderArea, MissingIndexFileRaisesOpenErrorAndClosesTheList) {
  makeTable({{"A", 1}});
  DBCREATEINDEX(text("codes"), text("code"));
  errors.clear();
  ORDLISTADD(text("missing"));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].genCode, gen::Open);
  EXPECT_EQ(errors[0].subCode, 1003);
  EXPECT_EQ(errors[0].osCode, 2);
  EXPECT_TRUE(errors[0].canRetry);
  EXPECT_NE(errors[0].fileName.find("missing.ntx"), std::string::npos);
  EXPECT_EQ(INDEXORD().asDouble(), 0);
  EXPECT_TRUE(area()->orders().empty());
}

TEST_F(OrderArea, UnreadableIndexFilesAreNotAdded) {
  makeTable({{"A", 1}, {"B", 2}});
  DBCREATEINDEX(text("codes"), text("code"));
  ORDLISTCLEAR();
  std::filesystem::copy_file("codes.ntx", "short.ntx");
  std::filesystem::resize_file("short.ntx", 551);
  errors.clear();
  ORDLISTADD(text("short"));
  EXPECT_TRUE(errors.empty());
  EXPECT_TRUE(area()->orders().empty());
  // A damaged tree under a sound header: navigation and seeks end, finding what they can.
  std::filesystem::resize_file("codes.ntx", 1500);
  ORDLISTADD(text("codes"));
  ASSERT_EQ(area()->orders().size(), 1u);
  EXPECT_TRUE(walk().empty());
  EXPECT_FALSE(DBSEEK(text("A")).asLogical());
  EXPECT_TRUE(EOF_().asLogical());
}

TEST_F(OrderArea, ScopesLimitNavigationSeeksAndTheKeyCount) {
  makeTable({{"AA", 1}, {"AB", 2}, {"BA", 3}, {"BB", 4}, {"CA", 5}});
  DBCREATEINDEX(text("codes"), text("code"));
  Value previous;
  const Value top = text("B");
  const Value bottom = text("B");
  ASSERT_TRUE(area()->orderInfo(OrderInfoItem::TopScope, 0, previous, &top));
  ASSERT_TRUE(area()->orderInfo(OrderInfoItem::BottomScope, 0, previous, &bottom));
  EXPECT_EQ(walk(), (std::vector<std::string>{"BA", "BB"}));
  EXPECT_EQ(walk(true), walk());
  EXPECT_FALSE(DBSEEK(text("C")).asLogical());
  EXPECT_TRUE(EOF_().asLogical());
  Value n;
  area()->orderInfo(OrderInfoItem::KeyCount, 0, n);
  EXPECT_EQ(n.asDouble(), 2);
  const Value none;
  area()->orderInfo(OrderInfoItem::TopScope, 0, previous, &none);
  area()->orderInfo(OrderInfoItem::BottomScope, 0, previous, &none);
  EXPECT_EQ(walk().size(), 5u);
}

TEST_F(OrderArea, SkipsStepOverAndBeyondTheEnds) {
  std::vector<std::pair<std::string, int>> rows;
  for (int i = 0; i < 300; ++i) rows.push_back({std::string(1, char('A' + (i * 7) % 26)) + char('A' + i % 26), i});
  makeTable(rows);
  DBCREATEINDEX(text("codes"), text("code"));
  const std::vector<std::string> forward = walk();
  ASSERT_EQ(forward.size(), 300u);
  EXPECT_TRUE(std::is_sorted(forward.begin(), forward.end()));
  EXPECT_EQ(walk(true), forward);

  DBGOTOP();
  DBSKIP(Value::integer(10));
  EXPECT_EQ(code(), forward[10]);
  DBSKIP(Value::integer(-4));
  EXPECT_EQ(code(), forward[6]);
  DBSKIP(Value::integer(-10));
  EXPECT_TRUE(BOF().asLogical());
  EXPECT_EQ(code(), forward[0]);
  DBSKIP(Value::integer(1000));
  EXPECT_TRUE(EOF_().asLogical());
  DBSKIP(Value::integer(-1));
  EXPECT_EQ(code(), forward[299]);
  // Going to a record by number and skipping from there continues in key order.
  DBGOTO(Value::integer(150));
  const std::string here = code();
  DBSKIP();
  const auto at = std::find(forward.begin(), forward.end(), here);
  ASSERT_NE(at, forward.end());
  EXPECT_EQ(code(), *(at + 1 == forward.end() ? at : at + 1));
}

TEST_F(OrderArea, EmptyTableOrder) {
  makeTable({});
  DBCREATEINDEX(text("codes"), text("code"));
  EXPECT_EQ(std::filesystem::file_size("codes.ntx"), 2048u);
  DBGOTOP();
  EXPECT_TRUE(BOF().asLogical());
  EXPECT_TRUE(EOF_().asLogical());
  DBSKIP(Value::integer(-1));
  EXPECT_TRUE(BOF().asLogical());
  EXPECT_FALSE(DBSEEK(text("A")).asLogical());
  EXPECT_TRUE(EOF_().asLogical());
}

// A shared table's order is used under the index lock, which no operation keeps:
// another process can take it at any time between operations.
TEST_F(OrderArea, SharedOrdersReleaseTheIndexLockAfterEachOperation) {
  makeTable({{"A", 1}, {"B", 2}, {"C", 3}});
  DBCREATEINDEX(text("codes"), text("code"));
  DBCLOSEALL();
  DBUSEAREA(Value::logical(false), Value(), text("t"), Value(), Value::logical(true), Value::logical(false));
  ORDLISTADD(text("codes"));
  EXPECT_TRUE(DBSEEK(text("B")).asLogical());
  DBSKIP();
  EXPECT_EQ(code(), "C");
  const pid_t child = fork();
  if (child == 0) {
    const int fd = ::open("codes.ntx", O_RDWR);
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = NtxArea::kIndexLockOffset;
    lock.l_len = 1;
    _exit(fd >= 0 && ::fcntl(fd, F_OFD_SETLK, &lock) == 0 ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace talvor
