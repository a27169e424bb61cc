// __DBDELIM on real tables: import of text files into the current table and
// export of its records, and a round trip through both.
#include "rdd/delim_commands.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "rdd/db_commands.h"
#include "rdd/table_ops.h"
#include "services/dates.h"
#include "services/runtime.h"
#include "support/scratch_folder_test.h"

namespace talvor {
namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

Value text(const std::string& s) { return Value::text(s); }
Value num(int n) { return Value::integer(n); }
const Value kImport = Value::logical(false);
const Value kExport = Value::logical(true);

class DelimTransfer : public ScratchFolderTest {
 protected:
  void SetUp() override {
    ScratchFolderTest::SetUp();
    rt().errorHandler = [this](RuntimeError& e) {
      errors.push_back(e);
      ErrorAnswer answer;
      if (answerRetry && e.canRetry) {
        answerRetry();
        answerRetry = nullptr;
        answer.action = Answer::Retry;
      }
      return answer;
    };
  }
  // t.dbf: NAME C(6), QTY N(8,2), DAY D, OK L; open exclusively.
  void createTable() {
    DBCREATE(text("t"), Value::array({fieldRow("NAME", "C", 6), fieldRow("QTY", "N", 8, 2), fieldRow("DAY", "D", 8), fieldRow("OK", "L", 1)}));
    DBUSEAREA(Value::logical(false), Value(), text("t"), Value(), Value::logical(false), Value::logical(false));
  }
  // One "NAME|QTY|DAY|OK" line per record, physical order, "*" when deleted.
  std::vector<std::string> records() {
    std::vector<std::string> out;
    for (DBGOTOP(); !EOF_().asLogical(); DBSKIP()) {
      char qty[32];
      std::snprintf(qty, sizeof qty, "%.2f", FIELDGET(num(2)).asDouble());
      std::string r = FIELDGET(num(1)).asText() + "|" + qty + "|" + dayToDigits(FIELDGET(num(3)).asDay()) + "|" +
                      (FIELDGET(num(4)).asLogical() ? "T" : "F");
      if (DELETED().asLogical()) r += "*";
      out.push_back(r);
    }
    return out;
  }
  void add(const char* name, double qty, int64_t day, bool ok) {
    DBAPPEND();
    FIELDPUT(num(1), text(name));
    FIELDPUT(num(2), Value::real(qty, 10, 2));
    FIELDPUT(num(3), Value::date(day));
    FIELDPUT(num(4), Value::logical(ok));
  }
  std::vector<RuntimeError> errors;
  std::function<void()> answerRetry;  // when set: done before the next retry answer
};

using Lines = std::vector<std::string>;

TEST_F(DelimTransfer, ImportFillsFieldsByPositionAndType) {
  struct Case {
    const char* name;
    std::string bytes;
    Lines records;
  };
  const std::string blankRecord = "      |0.00|        |F";
  const Case cases[] = {
      {"a title line is an ordinary record", "NAME,QTY\r\nA,1\r\nB,2\r\n",
       {"NAME  |0.00|        |F", "A     |1.00|        |F", "B     |2.00|        |F"}},
      {"all four types", "bolt,12.25,20120214,T\r\nnut,-3.5,14/02/2012,true\r\n",
       {"bolt  |12.25|20120214|T", "nut   |-3.50|        |T"}},
      {"blank line in the middle; no extra record for the final LF", "a\r\n\r\nb\n",
       {"a     |0.00|        |F", blankRecord, "b     |0.00|        |F"}},
      {"more columns than fields are dropped", "x,1,20000101,t,extra,more\r\n", {"x     |1.00|20000101|T"}},
      {"fewer columns leave the rest blank", "y,2\r\nz\r\n", {"y     |2.00|        |F", "z     |0.00|        |F"}},
      {"a Ctrl-Z ends the file", "a,1\r\nb,2\x1a\r\nc,3\r\n", {"a     |1.00|        |F", "b     |2.00|        |F"}},
      {"a quoted column may hold the separator", "\"x,y\",7\r\n", {"x,y   |7.00|        |F"}},
      {"text longer than the field is cut; VAL stops at the comma", "toolongname,\"1,234.5\"\r\n",
       {"toolon|1.00|        |F"}},
      {"Y and .T. are false", "a,,,Y\r\nb,,,.T.\r\n", {"a     |0.00|        |F", "b     |0.00|        |F"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    createTable();
    writeFile("in.csv", c.bytes);
    __DBDELIM(kImport, text("in.csv"), Value(), Value::array(), Value(), Value(), Value(), Value(), Value::logical(false));
    EXPECT_EQ(records(), c.records);
    DBCLOSEALL();
  }
  EXPECT_TRUE(errors.empty());
}

TEST_F(DelimTransfer, ImportEndsOnTheLastAppendedRecordAndAddsTxt) {
  createTable();
  DBAPPEND();  // records already there stay; the import appends after them
  writeFile("plain.txt", "a\nb\nc");
  __DBDELIM(kImport, text("plain"));
  EXPECT_EQ(LASTREC().asDouble(), 4);
  EXPECT_EQ(RECNO().asDouble(), 4);
  EXPECT_EQ(FIELDGET(num(1)).asText(), "c     ");
  DBCLOSEALL();
  // The last record reaches the file at the close.
  EXPECT_EQ(fileBytes("t.dbf").size(), 32 + 4 * 32 + 2 + 4 * 24 + 1u);
  EXPECT_TRUE(errors.empty());
}

TEST_F(DelimTransfer, ImportFillsMemoFields) {
  DBCREATE(text("notes"), Value::array({fieldRow("NAME", "C", 4), fieldRow("NOTE", "M", 10)}));
  DBUSEAREA(Value::logical(false), Value(), text("notes"));
  const std::string note(700, 'n');
  writeFile("in.csv", "a," + note + "\r\nb,short\r\nc\r\n");
  __DBDELIM(kImport, text("in.csv"));
  DBCOMMIT();
  ASSERT_EQ(LASTREC().asDouble(), 3);
  DBGOTOP();
  EXPECT_EQ(FIELDGET(num(2)).asText(), note);
  DBSKIP();
  EXPECT_EQ(FIELDGET(num(2)).asText(), "short");
  DBSKIP();
  EXPECT_EQ(FIELDGET(num(2)).asText(), "");
  EXPECT_EQ(fs::file_size("notes.dbt"), 512u * 4);  // header, two blocks of the long text, one short
  EXPECT_TRUE(errors.empty());
}

TEST_F(DelimTransfer, ImportWithTheBlankSeparator) {
  createTable();
  writeFile("in.txt", "one 5 20201231 T\r\n\"two words\" 6\r\n");
  __DBDELIM(kImport, text("in.txt"), text("blank"));
  EXPECT_EQ(records(), (Lines{"one   |5.00|20201231|T", "two wo|6.00|        |F"}));
}

TEST_F(DelimTransfer, ImportValueTooWideIsReportedAndTheImportGoesOn) {
  createTable();
  writeFile("in.csv", "a,123456789\r\nb,4\r\n");
  __DBDELIM(kImport, text("in.csv"));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].subCode, 1021);
  EXPECT_EQ(LASTREC().asDouble(), 2);
  DBGOBOTTOM();
  EXPECT_EQ(FIELDGET(num(2)).asDouble(), 4);
}

TEST_F(DelimTransfer, MissingFileRaisesTheOpenErrorOfDelim) {
  createTable();
  __DBDELIM(kImport, text("missing.csv"));
  ASSERT_EQ(errors.size(), 1u);
  const RuntimeError& e = errors[0];
  EXPECT_EQ(e.subsystem, "DELIM");
  EXPECT_EQ(e.genCode, 21);
  EXPECT_EQ(e.subCode, 1001);
  EXPECT_EQ(e.osCode, 2);
  EXPECT_NE(e.fileName.find("missing.csv"), std::string::npos);
  EXPECT_TRUE(e.canRetry);
  EXPECT_TRUE(e.canDefault);
  EXPECT_EQ(LASTREC().asDouble(), 0);

  // Retry opens again: the file made before the retry is imported.
  errors.clear();
  answerRetry = [] { writeFile("late.csv", "late,1\r\n"); };
  __DBDELIM(kImport, text("late.csv"));
  EXPECT_EQ(errors.size(), 1u);
  EXPECT_EQ(records(), Lines{"late  |1.00|        |F"});
}

TEST_F(DelimTransfer, WithoutATableNothingHappens) {
  writeFile("in.csv", "a\r\n");
  for (const Value& direction : {kImport, kExport}) {
    errors.clear();
    __DBDELIM(direction, text("out.txt"));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].genCode, 35);
    EXPECT_EQ(errors[0].subCode, 2001);
    EXPECT_EQ(errors[0].operation, "__DBDELIM");
  }
  EXPECT_FALSE(fs::exists("out.txt"));
}

class DelimExport : public DelimTransfer {
 protected:
  void SetUp() override {
    DelimTransfer::SetUp();
    createTable();
    add("bolt  ", 12.5, dayFromYmd(2012, 2, 14), true);
    add("a\"b\"", -3.25, 0, false);
    add("nut", 0, dayFromYmd(1999, 12, 31), true);
    add("", 1000, dayFromYmd(2000, 1, 1), false);
  }
  std::string exported(const Value& delimiter = {}, const Value& fields = {}, const Value& forBlock = {},
                       const Value& whileBlock = {}, const Value& next = {}, const Value& record = {},
                       const Value& rest = {}) {
    __DBDELIM(kExport, text("out"), delimiter, fields, forBlock, whileBlock, next, record, rest);
    return fileBytes("out.txt");
  }
};

TEST_F(DelimExport, ValueFormsQuotingLineEndsAndTheFinalCtrlZ) {
  EXPECT_EQ(exported(),
            "\"bolt\",12.50,20120214,T\r\n"
            "\"a\\\"b\\\"\",-3.25,        ,F\r\n"
            "\"nut\",0.00,19991231,T\r\n"
            "\"\",1000.00,20000101,F\r\n"
            "\x1a");
  EXPECT_EQ(exported(text("'")),
            "'bolt',12.50,20120214,T\r\n"
            "'a\"b\"',-3.25,        ,F\r\n"
            "'nut',0.00,19991231,T\r\n"
            "'',1000.00,20000101,F\r\n"
            "\x1a");
  EXPECT_EQ(exported(text("BLANK"), Value::array({text("name"), text("ok")})),
            "bolt T\r\na\"b\" F\r\nnut T\r\n F\r\n\x1a");
  EXPECT_TRUE(errors.empty());
}

TEST_F(DelimExport, FieldListsAndScopes) {
  auto block = [](std::function<bool()> f) {
    return Value::block([f](std::span<const Value>) { return Value::logical(f()); });
  };
  auto qty = [] { return FIELDGET(num(2)).asDouble(); };
  const Value qtyOnly = Value::array({text("QTY")});
  struct Case {
    const char* name;
    std::function<std::string()> run;
    std::string bytes;
  };
  const Case cases[] = {
      {"list order, unknown names skipped",
       [&] { return exported(Value(), Value::array({text("ok"), text("nosuch"), text("Name")})); },
       "T,\"bolt\"\r\nF,\"a\\\"b\\\"\"\r\nT,\"nut\"\r\nF,\"\"\r\n\x1a"},
      {"for", [&] { return exported(Value(), qtyOnly, block([&] { return qty() > 0; })); }, "12.50\r\n1000.00\r\n\x1a"},
      {"while from the current record",
       [&] {
         DBGOTO(num(2));
         return exported(Value(), qtyOnly, Value(), block([&] { return qty() < 100; }));
       },
       "-3.25\r\n0.00\r\n\x1a"},
      {"next from the current record",
       [&] {
         DBGOTO(num(2));
         return exported(Value(), qtyOnly, Value(), Value(), num(2));
       },
       "-3.25\r\n0.00\r\n\x1a"},
      {"record", [&] { return exported(Value(), qtyOnly, Value(), Value(), Value(), num(3)); }, "0.00\r\n\x1a"},
      {"rest", [&] {
         DBGOTO(num(4));
         return exported(Value(), qtyOnly, Value(), Value(), Value(), Value(), Value::logical(true));
       },
       "1000.00\r\n\x1a"},
      {"without scope from the top", [&] {
         DBGOTO(num(4));
         return exported(Value(), qtyOnly);
       },
       "12.50\r\n-3.25\r\n0.00\r\n1000.00\r\n\x1a"},
      {"nothing in scope still writes the Ctrl-Z",
       [&] { return exported(Value(), qtyOnly, block([] { return false; })); }, "\x1a"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.run(), c.bytes) << c.name;

  rt().settings.deleted = true;
  DBGOTO(num(2));
  DBDELETE();
  EXPECT_EQ(exported(Value(), qtyOnly), "12.50\r\n0.00\r\n1000.00\r\n\x1a") << "deleted records hidden";
  EXPECT_TRUE(errors.empty());
}

TEST_F(DelimExport, FileThatCannotBeCreatedRaisesTheCreateErrorOfDelim) {
  __DBDELIM(kExport, text("no/such/folder/out.txt"));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].subsystem, "DELIM");
  EXPECT_EQ(errors[0].genCode, 20);
  EXPECT_EQ(errors[0].subCode, 1002);
  EXPECT_NE(errors[0].osCode, 0);
  EXPECT_TRUE(errors[0].canRetry);
  EXPECT_TRUE(errors[0].canDefault);
}

TEST_F(DelimExport, RoundTripGivesTheSameRecords) {
  add("a,b", 99999.99, dayFromYmd(1900, 3, 1), true);
  add(" lead", -0.01, dayFromYmd(9999, 12, 31), false);
  DBGOTO(num(2));
  FIELDPUT(num(1), text("washer"));  // the import knows no escaped quotes
  const Lines before = records();
  __DBDELIM(kExport, text("trip.csv"));
  DBCLOSEALL();
  DBCREATE(text("u"), Value::array({fieldRow("NAME", "C", 6), fieldRow("QTY", "N", 8, 2), fieldRow("DAY", "D", 8), fieldRow("OK", "L", 1)}));
  DBUSEAREA(Value::logical(false), Value(), text("u"));
  __DBDELIM(kImport, text("trip.csv"));
  EXPECT_EQ(records(), before);
  EXPECT_TRUE(errors.empty());
}

}  // namespace
}  // namespace talvor
