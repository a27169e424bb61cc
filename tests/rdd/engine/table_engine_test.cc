#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fcntl.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "rdd/area_registry.h"
#include "rdd/db_commands.h"
#include "rdd/table_ops.h"
#include "services/runtime.h"
#include "support/scratch_folder_test.h"

namespace talvor {
namespace {

namespace fs = std::filesystem;

class TableEngine : public CollectingErrorsTest {
 protected:
  void create(const char* name, ValueArray rows) { DBCREATE(Value::text(name), Value::array(std::move(rows))); }
  void use(const char* name, bool shared = false) {
    DBUSEAREA(Value::logical(false), Value(), Value::text(name), Value(), Value::logical(shared), Value::logical(false));
  }
};

TEST_F(TableEngine, CreatesTheSmallestTable) {
  create("t", {fieldRow("NAME", "C", 10)});
  EXPECT_EQ(fs::file_size("t.dbf"), 67u);
  use("t");
  EXPECT_TRUE(BOF().asLogical());
  EXPECT_TRUE(EOF_().asLogical());
  EXPECT_EQ(RECNO().asDouble(), 1);
  EXPECT_EQ(LASTREC().asDouble(), 0);
}

TEST_F(TableEngine, AppendsStayInMemoryUntilTheCloseWritesRecordsHeaderAndMark) {
  create("t", {fieldRow("NAME", "C", 5), fieldRow("QTY", "N", 6, 2), fieldRow("DAY", "D", 8), fieldRow("OK", "L", 1)});
  use("t");
  DBAPPEND();
  FIELDPUT(Value::integer(1), Value::text("ABCDEFG"));
  FIELDPUT(Value::integer(2), Value::real(12.5));
  FIELDPUT(Value::integer(4), Value::logical(true));
  EXPECT_EQ(LASTREC().asDouble(), 1);
  const auto before = fs::file_size("t.dbf");
  DBAPPEND();
  FIELDPUT(Value::integer(2), Value::real(1234.5));  // too wide: asterisks and 1021
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].subCode, 1021);
  DBCLOSEAREA();
  EXPECT_FALSE(USED().asLogical());
  const std::string bytes = fileBytes("t.dbf");
  const std::size_t header = 32 + 4 * 32 + 2;
  ASSERT_EQ(bytes.size(), header + 2 * 21 + 1) << before;
  EXPECT_EQ(bytes.substr(header, 21), " ABCDE 12.50        T");
  EXPECT_EQ(bytes.substr(header + 21 + 6, 6), "******");
  EXPECT_EQ(bytes.back(), '\x1a');
  EXPECT_EQ(static_cast<unsigned char>(bytes[4]), 2);
}

TEST_F(TableEngine, NavigationHidesDeletedRecords) {
  create("t", {fieldRow("N", "N", 3)});
  use("t");
  for (int i = 1; i <= 4; ++i) {
    DBAPPEND();
    FIELDPUT(Value::integer(1), Value::integer(i));
  }
  DBGOTO(Value::integer(1));
  DBDELETE();
  DBGOTO(Value::integer(4));
  DBDELETE();
  rt().settings.deleted = true;
  DBGOTOP();
  EXPECT_EQ(RECNO().asDouble(), 2);
  DBSKIP(Value::integer(-1));
  EXPECT_TRUE(BOF().asLogical());
  EXPECT_EQ(RECNO().asDouble(), 2);
  DBGOTO(Value::integer(3));
  DBSKIP();
  EXPECT_TRUE(EOF_().asLogical());
  EXPECT_FALSE(BOF().asLogical());
  EXPECT_EQ(RECNO().asDouble(), 5);
  EXPECT_TRUE(FIELDGET(Value::integer(0)).isNil());
  EXPECT_EQ(FIELDPOS(Value::text("n ")).asDouble(), 1);
  EXPECT_EQ(FIELDPOS(Value::text(" n")).asDouble(), 0);
}

TEST_F(TableEngine, WorkAreaSelectionRules) {
  create("zalf", {fieldRow("A", "C", 1)});
  DBSELECTAREA(Value::text("12abc"));
  EXPECT_EQ(SELECT().asDouble(), 12);
  DBSELECTAREA(Value::text("c"));
  EXPECT_EQ(SELECT().asDouble(), 3);
  DBSELECTAREA(Value::text("0"));
  EXPECT_EQ(SELECT().asDouble(), 1);
  use("zalf");
  EXPECT_EQ(ALIAS().asText(), "ZALF");
  DBSELECTAREA(Value::text("m"));
  EXPECT_EQ(SELECT().asDouble(), 2);
  DBSELECTAREA(Value::text("Zalf"));
  EXPECT_EQ(SELECT().asDouble(), 1);
  DBSELECTAREA(Value::integer(2));
  DBUSEAREA(Value::logical(false), Value(), Value::text("zalf"), Value::text("9x"));
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors.back().subCode, 1010);
  DBUSEAREA(Value::logical(false), Value(), Value::text("zalf"), Value::text("A"));
  EXPECT_EQ(errors.back().subCode, 1011);
  DBSKIP();
  EXPECT_EQ(errors.back().subCode, 2001);
  EXPECT_EQ(errors.back().operation, "DBSKIP");
}

TEST_F(TableEngine, ExclusiveOpenRefusedWhileAnotherProcessHoldsTheTable) {
  create("t", {fieldRow("A", "C", 1)});
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  if (child == 0) {
    rt().reset();
    use("t");
    char c = 'x';
    (void)!write(ready[1], &c, 1);
    ::sleep(2);
    _exit(0);
  }
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  bool quiet = false;
  rt().errorHandler = [&](RuntimeError& e) {
    if (e.genCode == gen::Open && e.osCode == 32 && e.canDefault) {
      rt().netErr = true;
      quiet = true;
    }
    return ErrorAnswer{};
  };
  use("t");
  EXPECT_TRUE(quiet);
  EXPECT_TRUE(NETERR().asLogical());
  EXPECT_FALSE(USED().asLogical());
  int status = 0;
  waitpid(child, &status, 0);
}

TEST_F(TableEngine, RecordLockIsAByteAtTheSchemeOffset) {
  create("t", {fieldRow("A", "C", 1)});
  use("t", true);
  for (int i = 0; i < 6; ++i) {
    DBAPPEND();
  }
  DBGOTO(Value::integer(5));
  ASSERT_TRUE(RLOCK().asLogical());
  const pid_t child = fork();
  if (child == 0) {
    const int fd = ::open("t.dbf", O_RDWR);
    auto locked = [fd](off_t at) {
      struct flock probe {};
      probe.l_type = F_WRLCK;
      probe.l_whence = SEEK_SET;
      probe.l_start = at;
      probe.l_len = 1;
      return fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    };
    _exit(locked(1000000005) && !locked(1000000004) && !locked(1000000006) ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace talvor

namespace talvor {
namespace {

// An independent reader (Debian's python3-dbfread) reads back what the engine wrote.
TEST_F(TableEngine, IndependentReaderReadsTheValuesBack) {
  if (std::system("/usr/bin/python3 -c 'import dbfread' 2>/dev/null") != 0) GTEST_SKIP() << "python3-dbfread missing";
  create("inter", {fieldRow("NAME", "C", 8), fieldRow("QTY", "N", 5), fieldRow("PRICE", "N", 9, 2), fieldRow("DAY", "D", 8),
                   fieldRow("OK", "L", 1)});
  use("inter");
  DBAPPEND();
  FIELDPUT(Value::integer(1), Value::text("Alpha"));
  FIELDPUT(Value::integer(2), Value::integer(-42));
  FIELDPUT(Value::integer(3), Value::real(1234.5));
  FIELDPUT(Value::integer(4), Value::date(2455972));  // 2012-02-14
  FIELDPUT(Value::integer(5), Value::logical(true));
  DBAPPEND();
  FIELDPUT(Value::integer(1), Value::text("Beta"));
  FIELDPUT(Value::integer(5), Value::logical(false));
  DBCLOSEAREA();
  const std::string script =
      "import dbfread\n"
      "rows = [dict(r) for r in dbfread.DBF('inter.dbf')]\n"
      "print(rows[0]['NAME'], rows[0]['QTY'], rows[0]['PRICE'], rows[0]['DAY'], rows[0]['OK'])\n"
      "print(rows[1]['NAME'], rows[1]['QTY'], rows[1]['PRICE'], rows[1]['DAY'], rows[1]['OK'], len(rows))\n";
  std::ofstream("read.py") << script;
  ASSERT_EQ(std::system("/usr/bin/python3 read.py > out.txt 2>&1"), 0) << fileBytes("out.txt");
  EXPECT_EQ(fileBytes("out.txt"), "Alpha -42 1234.5 2012-02-14 True\nBeta None None None False 2\n");
}

}  // namespace
}  // namespace talvor
