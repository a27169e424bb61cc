#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "rdd/db_commands.h"
#include "rdd/table_ops.h"
#include "services/runtime.h"
#include "support/scratch_folder_test.h"

namespace talvor {
namespace {

namespace fs = std::filesystem;

class MemoEngine : public CollectingErrorsTest {
 protected:
  // t.dbf: NAME C(5), NOTE M(10).
  void createNotes() { DBCREATE(Value::text("t"), Value::array({fieldRow("NAME", "C", 5), fieldRow("NOTE", "M", 10)})); }
  void use(const char* name) {
    DBUSEAREA(Value::logical(false), Value(), Value::text(name), Value(), Value::logical(false), Value::logical(false));
  }
  void putNote(const std::string& text) { FIELDPUT(Value::integer(2), Value::text(text)); }
  std::string note() { return FIELDGET(Value::integer(2)).asText(); }
  // The 10 reference bytes of record n in t.dbf.
  std::string reference(int n) {
    const std::string dbf = fileBytes("t.dbf");
    const std::size_t headerLength = uint8_t(dbf[8]) | uint8_t(dbf[9]) << 8;
    return dbf.substr(headerLength + (n - 1) * 16 + 6, 10);
  }
};

TEST_F(MemoEngine, NewTableGetsVersion83AndAnEmptyMemoFile) {
  createNotes();
  const std::string dbt = fileBytes("t.dbt");
  ASSERT_EQ(dbt.size(), 512u);
  EXPECT_EQ(u32At(dbt, 0), 1u);
  EXPECT_EQ(dbt.find_first_not_of('\0', 4), std::string::npos);
  EXPECT_EQ(uint8_t(fileBytes("t.dbf")[0]), 0x83);
  use("t");
  DBAPPEND();
  DBCLOSEALL();
  EXPECT_EQ(uint8_t(fileBytes("t.dbf")[0]), 0x83);  // a header rewrite keeps it
  EXPECT_TRUE(errors.empty());
}

TEST_F(MemoEngine, WritesInPlaceAndAppendsAsTheTextGrows) {
  createNotes();
  use("t");
  DBAPPEND();
  putNote("ABC");
  DBCOMMIT();
  std::string dbt = fileBytes("t.dbt");
  ASSERT_EQ(dbt.size(), 1024u);
  EXPECT_EQ(u32At(dbt, 0), 2u);
  EXPECT_EQ(dbt.substr(512), "ABC" + std::string(509, '\x1A'));
  EXPECT_EQ(reference(1), "         1");
  EXPECT_EQ(note(), "ABC");

  putNote(std::string(400, 'b'));
  DBCOMMIT();
  EXPECT_EQ(reference(1), "         1");
  EXPECT_EQ(u32At(fileBytes("t.dbt"), 0), 2u);

  putNote(std::string(600, 'c'));
  DBCOMMIT();
  dbt = fileBytes("t.dbt");
  EXPECT_EQ(reference(1), "         2");
  EXPECT_EQ(u32At(dbt, 0), 4u);
  EXPECT_EQ(dbt.size(), 2048u);
  EXPECT_EQ(note(), std::string(600, 'c'));

  const std::string before = fileBytes("t.dbt");
  putNote("");
  DBCOMMIT();
  EXPECT_EQ(reference(1), std::string(10, ' '));
  EXPECT_EQ(fileBytes("t.dbt"), before);
  EXPECT_EQ(note(), "");
  EXPECT_TRUE(errors.empty());
}

TEST_F(MemoEngine, NonTextValuesPhantomRecordAndDeletionFlag) {
  createNotes();
  use("t");
  DBAPPEND();
  putNote("keep");
  DBDELETE();
  putNote("kept deleted");
  DBCOMMIT();
  EXPECT_EQ(fileBytes("t.dbf")[fileBytes("t.dbf").size() - 17], '*');
  EXPECT_TRUE(FIELDPUT(Value::integer(2), Value::integer(5)).isNil());
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].genCode, 33);
  EXPECT_EQ(errors[0].subCode, 1020);
  EXPECT_TRUE(errors[0].canDefault);
  EXPECT_EQ(note(), "kept deleted");

  const std::string dbt = fileBytes("t.dbt");
  DBGOTO(Value::integer(2));  // the phantom record
  putNote("nothing");
  EXPECT_EQ(note(), "");
  DBCOMMIT();
  EXPECT_EQ(fileBytes("t.dbt"), dbt);
}

TEST_F(MemoEngine, ZapReinitialisesAndPackLeavesTheMemoFile) {
  createNotes();
  use("t");
  for (const char* text : {"one", "two", "three"}) {
    DBAPPEND();
    putNote(text);
  }
  DBGOTO(Value::integer(1));
  DBDELETE();
  DBCOMMIT();
  const std::string before = fileBytes("t.dbt");
  __DBPACK();
  DBCOMMIT();
  EXPECT_EQ(fileBytes("t.dbt"), before);
  EXPECT_EQ(LASTREC().asDouble(), 2);
  DBGOTOP();
  EXPECT_EQ(note(), "two");

  __DBZAP();
  DBCOMMIT();
  const std::string dbt = fileBytes("t.dbt");
  ASSERT_EQ(dbt.size(), 512u);
  EXPECT_EQ(u32At(dbt, 0), 1u);
  DBAPPEND();
  putNote("again");
  DBCOMMIT();
  EXPECT_EQ(reference(1), "         1");
  EXPECT_TRUE(errors.empty());
}

TEST_F(MemoEngine, TableWithoutItsMemoFileCannotBeOpened) {
  createNotes();
  fs::remove("t.dbt");
  use("t");
  EXPECT_FALSE(USED().asLogical());
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors[0].genCode, 21);
  EXPECT_EQ(errors[0].subCode, 1001);
  EXPECT_TRUE(errors[0].canRetry);
  EXPECT_NE(errors[0].fileName.find("t.dbt"), std::string::npos);
}

TEST_F(MemoEngine, DamagedMemoFileReadsSoundly) {
  createNotes();
  use("t");
  DBAPPEND();
  putNote("ABC");
  DBAPPEND();
  putNote("DEF");
  DBCLOSEALL();
  {
    std::string dbt = fileBytes("t.dbt");
    dbt[0] = dbt[1] = dbt[2] = dbt[3] = '\xFF';       // next-free far beyond the end
    dbt.replace(1024, 512, std::string(200, 'x'));   // block 2 loses its 0x1A and is cut short
    std::ofstream(("t.dbt"), std::ios::binary) << dbt;
    std::string dbf = fileBytes("t.dbf");
    const std::size_t headerLength = uint8_t(dbf[8]) | uint8_t(dbf[9]) << 8;
    dbf.replace(headerLength + 6, 10, "  77777777");  // record 1: past the end
    std::ofstream(("t.dbf"), std::ios::binary) << dbf;
  }
  use("t");
  EXPECT_EQ(note(), "");
  DBSKIP();
  EXPECT_EQ(note(), std::string(200, 'x'));
  putNote(std::string(600, 'n'));
  DBCOMMIT();
  EXPECT_EQ(note(), std::string(600, 'n'));
  EXPECT_LT(fs::file_size("t.dbt"), 4096u);
  EXPECT_TRUE(errors.empty());
}

// The texts read back through an independent DBF reader.
TEST_F(MemoEngine, IndependentReaderReadsTheMemoTexts) {
  if (std::system("/usr/bin/python3 -c 'import dbfread' 2>/dev/null") != 0) GTEST_SKIP() << "no dbfread";
  createNotes();
  use("t");
  DBAPPEND();
  FIELDPUT(Value::integer(1), Value::text("long"));
  putNote(std::string(700, 'L') + "end");
  DBAPPEND();
  FIELDPUT(Value::integer(1), Value::text("short"));
  putNote("first version");
  putNote("second");
  DBAPPEND();
  FIELDPUT(Value::integer(1), Value::text("none"));
  DBCLOSEALL();
  const std::string script =
      "/usr/bin/python3 -c \"import dbfread\n"
      "for r in dbfread.DBF('t.dbf'):\n"
      "  print(r['NAME'], len(r['NOTE'] or ''), (r['NOTE'] or '')[-6:])\" > out.txt";
  ASSERT_EQ(std::system(script.c_str()), 0);
  EXPECT_EQ(fileBytes("out.txt"), "long 703 LLLend\nshort 6 second\nnone 0 \n");
}

}  // namespace
}  // namespace talvor
