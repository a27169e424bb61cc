// ZAP, PACK, COPY STRUCTURE EXTENDED / CREATE FROM and APPEND FROM through the
// command functions, checked against the bytes on disk where the layout matters.
#include "rdd/table_ops.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "rdd/area_registry.h"
#include "rdd/db_commands.h"
#include "services/runtime.h"
#include "support/scratch_folder_test.h"

namespace talvor {
namespace {

namespace fs = std::filesystem;

Value text(const char* s) { return Value::text(s); }
Value num(int n) { return Value::integer(n); }

class TableOps : public CollectingErrorsTest {
 protected:
  void create(const char* name, ValueArray rows) { DBCREATE(text(name), Value::array(std::move(rows))); }
  void use(const char* name, bool shared = false, bool readOnly = false) {
    DBUSEAREA(Value::logical(false), Value(), text(name), Value(), Value::logical(shared),
              Value::logical(readOnly));
  }
  // t.dbf: NAME C(6); one record per name, the names listed in `deleted` deleted.
  void makeNames(const std::vector<std::string>& names, const std::vector<int>& deleted = {}) {
    create("t", {fieldRow("NAME", "C", 6)});
    use("t");
    for (const std::string& n : names) {
      DBAPPEND();
      FIELDPUT(num(1), Value::text(n));
    }
    for (int r : deleted) {
      DBGOTO(num(r));
      DBDELETE();
    }
    DBCOMMIT();
  }
  std::vector<std::string> names() {
    std::vector<std::string> out;
    for (DBGOTOP(); !EOF_().asLogical(); DBSKIP()) out.push_back(FIELDGET(num(1)).asText());
    return out;
  }
};

constexpr std::size_t kNamesHeader = 32 + 32 + 2;  // one field
constexpr std::size_t kNamesRecord = 7;

TEST_F(TableOps, ZapThenTwoAppendsGivesHeaderTwoRecordsAndTheMark) {
  makeNames({"one", "two", "three", "four", "five"});
  DBCLOSEAREA();
  use("t");
  __DBZAP();
  EXPECT_EQ(LASTREC().asDouble(), 0);
  EXPECT_TRUE(EOF_().asLogical());
  DBAPPEND();
  FIELDPUT(num(1), text("A"));
  DBAPPEND();
  FIELDPUT(num(1), text("B"));
  DBCLOSEAREA();
  const std::string bytes = fileBytes("t.dbf");
  ASSERT_EQ(bytes.size(), kNamesHeader + 2 * kNamesRecord + 1);
  EXPECT_EQ(u32At(bytes, 4), 2u);
  EXPECT_EQ(bytes.substr(kNamesHeader), " A      B     \x1a");
  EXPECT_TRUE(errors.empty());
}

TEST_F(TableOps, ZapAloneCutsTheFileAfterTheHeader) {
  makeNames({"one", "two"});
  __DBZAP();
  DBCLOSEAREA();
  const std::string bytes = fileBytes("t.dbf");
  ASSERT_EQ(bytes.size(), kNamesHeader + 1);
  EXPECT_EQ(u32At(bytes, 4), 0u);
  EXPECT_EQ(bytes.back(), '\x1a');
}

TEST_F(TableOps, PackMovesRecordsUpAndCutsTheFile) {
  struct Case {
    const char* name;
    std::vector<int> deleted;
    std::vector<std::string> kept;
  };
  const std::vector<std::string> all = {"r1", "r2", "r3", "r4", "r5"};
  const Case cases[] = {
      {"first deleted", {1}, {"r2", "r3", "r4", "r5"}},
      {"every other", {2, 4}, {"r1", "r3", "r5"}},
      {"last deleted", {5}, {"r1", "r2", "r3", "r4"}},
      {"none deleted", {}, all},
      {"all deleted", {1, 2, 3, 4, 5}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    makeNames(all, c.deleted);
    DBGOBOTTOM();
    __DBPACK();
    EXPECT_EQ(LASTREC().asDouble(), double(c.kept.size()));
    EXPECT_EQ(RECNO().asDouble(), 1);  // positioned on record 1 (the phantom when empty)
    EXPECT_EQ(EOF_().asLogical(), c.kept.empty());
    if (!c.kept.empty()) {
      EXPECT_EQ(FIELDGET(num(1)).asText(), c.kept[0] + "    ");
    }
    std::vector<std::string> expected;
    for (const std::string& k : c.kept) expected.push_back(k + "    ");
    EXPECT_EQ(names(), expected);
    DBCLOSEAREA();
    const std::string bytes = fileBytes("t.dbf");
    ASSERT_EQ(bytes.size(), kNamesHeader + c.kept.size() * kNamesRecord + 1);
    EXPECT_EQ(u32At(bytes, 4), c.kept.size());
    EXPECT_EQ(bytes.back(), '\x1a');
    for (std::size_t j = 0; j < c.kept.size(); ++j)
      EXPECT_EQ(bytes.substr(kNamesHeader + j * kNamesRecord, kNamesRecord), " " + expected[j]);
  }
  EXPECT_TRUE(errors.empty());
}

// The records still held in memory (exclusive mode) are packed like the others,
// and appends after the pack continue right after the kept records.
TEST_F(TableOps, PackOfUncommittedRecordsThenAppend) {
  create("t", {fieldRow("NAME", "C", 6)});
  use("t");
  for (const char* n : {"r1", "r2", "r3", "r4", "r5"}) {
    DBAPPEND();
    FIELDPUT(num(1), text(n));
  }
  DBGOTO(num(2));
  DBDELETE();
  DBGOTO(num(5));
  DBDELETE();  // record 5 is the hot record
  __DBPACK();
  DBAPPEND();
  FIELDPUT(num(1), text("new"));
  EXPECT_EQ(RECNO().asDouble(), 4);
  DBCLOSEAREA();
  const std::string bytes = fileBytes("t.dbf");
  ASSERT_EQ(bytes.size(), kNamesHeader + 4 * kNamesRecord + 1);
  EXPECT_EQ(u32At(bytes, 4), 4u);
  EXPECT_EQ(bytes.substr(kNamesHeader), " r1     r3     r4     new   \x1a");
  EXPECT_TRUE(errors.empty());
}

// Records of 2001 bytes: about 524 fit a 1 MiB pack block, so 1400 records span
// three blocks; the first block keeps all its records in place, the second loses
// every record, the third every third.
TEST_F(TableOps, PackAcrossBlocksKeepsTheOrder) {
  create("big", {fieldRow("N", "N", 6), fieldRow("PAD", "C", 1994)});
  use("big");
  std::vector<int> kept;
  for (int r = 1; r <= 1400; ++r) {
    DBAPPEND();
    FIELDPUT(num(1), num(r));
    FIELDPUT(num(2), Value::text(std::string(1994, char('a' + r % 26))));
    const bool drop = (r > 524 && r <= 1048) || (r > 1048 && r % 3 == 0);
    if (drop) {
      DBDELETE();
    } else {
      kept.push_back(r);
    }
  }
  DBCOMMIT();
  __DBPACK();
  ASSERT_EQ(LASTREC().asDouble(), double(kept.size()));
  std::size_t j = 0;
  for (DBGOTOP(); !EOF_().asLogical(); DBSKIP(), ++j) {
    ASSERT_LT(j, kept.size());
    const int r = kept[j];
    ASSERT_EQ(FIELDGET(num(1)).asDouble(), r) << "record " << j + 1;
    ASSERT_EQ(FIELDGET(num(2)).asText(), std::string(1994, char('a' + r % 26))) << "record " << j + 1;
  }
  EXPECT_EQ(j, kept.size());
  DBCLOSEAREA();
  EXPECT_EQ(fs::file_size("big.dbf"), 32 + 2 * 32 + 2 + kept.size() * 2001 + 1);
  EXPECT_TRUE(errors.empty());
}

TEST_F(TableOps, PackProgressBlockCountsVisitedRecords) {
  struct Case {
    Value every;
    int calls;
  };
  const Case cases[] = {{num(3), 4}, {num(5), 2}, {Value(), 10}, {num(0), 10}, {num(20), 1}};
  for (const Case& c : cases) {
    makeNames({"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}, {2, 7});
    int calls = 0;
    __DBPACK(Value::block([&](std::span<const Value>) {
               ++calls;
               return Value();
             }),
             c.every);
    EXPECT_EQ(calls, c.calls) << (c.every.isNumber() ? c.every.asDouble() : -1);
    EXPECT_EQ(LASTREC().asDouble(), 8);
    DBCLOSEAREA();
  }
}

TEST_F(TableOps, LongCharacterFieldSurvivesCopyStructureExtendedAndCreateFrom) {
  create("wide", {fieldRow("TEXT", "C", 300), fieldRow("PRICE", "N", 8, 2), fieldRow("DAY", "D", 8)});
  use("wide");
  DBAPPEND();
  DBAPPEND();
  DBGOTO(num(1));
  ASSERT_TRUE(__DBCOPYXSTRUCT(text("st")).asLogical());
  // The current area and its position stay; the structure table is closed.
  EXPECT_EQ(ALIAS().asText(), "WIDE");
  EXPECT_EQ(RECNO().asDouble(), 1);
  EXPECT_EQ(areas().areas().size(), 1u);
  EXPECT_EQ(__RDDGETTEMPALIAS().asText(), "WKTMP001");

  DBUSEAREA(Value::logical(true), Value(), text("st"));
  ASSERT_EQ(LASTREC().asDouble(), 3);
  struct Expected {
    const char* name;
    const char* type;
    int len, dec;
  };
  const Expected rows[] = {{"TEXT", "C", 44, 1}, {"PRICE", "N", 8, 2}, {"DAY", "D", 8, 0}};
  DBGOTOP();
  for (const Expected& e : rows) {
    EXPECT_EQ(FIELDGET(num(1)).asText(), std::string(e.name) + std::string(10 - std::strlen(e.name), ' '));
    EXPECT_EQ(FIELDGET(num(2)).asText(), e.type);
    EXPECT_EQ(FIELDGET(num(3)).asDouble(), e.len) << e.name;
    EXPECT_EQ(FIELDGET(num(4)).asDouble(), e.dec) << e.name;
    DBSKIP();
  }
  DBCLOSEAREA();

  EXPECT_TRUE(__DBCREATE(text("back"), text("st")).asLogical());
  EXPECT_EQ(ALIAS().asText(), "BACK");
  const Value layout = DBSTRUCT();
  ASSERT_EQ(layout.asArray().size(), 3u);
  const ValueArray& first = layout.asArray()[0].asArray();
  EXPECT_EQ(first[1].asText(), "C");
  EXPECT_EQ(first[2].asDouble(), 300);
  EXPECT_EQ(first[3].asDouble(), 0);
  EXPECT_EQ(layout.asArray()[1].asArray()[3].asDouble(), 2);

  // COPY STRUCTURE with a field list: the listed fields in list order.
  __DBCOPYSTRUCT(text("sub"), Value::array({text("price "), text("nosuch"), text("text")}));
  DBUSEAREA(Value::logical(true), Value(), text("sub"));
  const Value sub = DBSTRUCT();
  ASSERT_EQ(sub.asArray().size(), 2u);
  EXPECT_EQ(sub.asArray()[0].asArray()[0].asText(), "PRICE");
  EXPECT_EQ(sub.asArray()[1].asArray()[2].asDouble(), 300);
  EXPECT_TRUE(errors.empty());
}

TEST_F(TableOps, StructureCommandsWithoutATable) {
  EXPECT_TRUE(DBSTRUCT().isNil());
  EXPECT_FALSE(__DBCOPYXSTRUCT(text("st")).asLogical());
  EXPECT_FALSE(fs::exists("st.dbf"));
  EXPECT_TRUE(errors.empty());
}

// old.dbf: NAME C(10), OLDONLY N(3), QTY N(5,1), NAMEX C(3); four records,
// record 2 deleted. new.dbf: NAME C(8), QTY N(5,1), NEWONLY C(4), NAMEX C(3).
class AppendFrom : public TableOps {
 protected:
  void SetUp() override {
    TableOps::SetUp();
    create("old", {fieldRow("NAME", "C", 10), fieldRow("OLDONLY", "N", 3), fieldRow("QTY", "N", 5, 1), fieldRow("NAMEX", "C", 3)});
    use("old");
    const char* names[] = {"alpha", "beta", "gamma", "delta"};
    for (int i = 0; i < 4; ++i) {
      DBAPPEND();
      FIELDPUT(num(1), text(names[i]));
      FIELDPUT(num(2), num(100 + i));
      FIELDPUT(num(3), Value::real(i + 0.5, 10, 1));
      FIELDPUT(num(4), Value::text("x" + std::to_string(i + 1)));
    }
    DBGOTO(num(2));
    DBDELETE();
    DBCLOSEAREA();
    create("new", {fieldRow("NAME", "C", 8), fieldRow("QTY", "N", 5, 1), fieldRow("NEWONLY", "C", 4), fieldRow("NAMEX", "C", 3)});
    use("new");
  }
  // "NAME|QTY|NEWONLY|NAMEX", texts trimmed, "*" after a deleted record.
  std::vector<std::string> records() {
    std::vector<std::string> out;
    const bool filter = rt().settings.deleted;
    rt().settings.deleted = false;
    auto trimmed = [](std::string t) { return t.erase(t.find_last_not_of(' ') + 1); };
    for (DBGOTOP(); !EOF_().asLogical(); DBSKIP()) {
      char qty[16];
      std::snprintf(qty, sizeof qty, "%.1f", FIELDGET(num(2)).asDouble());
      std::string r = trimmed(FIELDGET(num(1)).asText()) + "|" + qty + "|" + trimmed(FIELDGET(num(3)).asText()) +
                      "|" + trimmed(FIELDGET(num(4)).asText());
      if (DELETED().asLogical()) r += "*";
      out.push_back(r);
    }
    rt().settings.deleted = filter;
    return out;
  }
};

using Records = std::vector<std::string>;

TEST_F(AppendFrom, DeletedFilterDecidesWhetherDeletedRecordsArrive) {
  rt().settings.deleted = true;
  __DBAPP(text("old"));
  EXPECT_EQ(records(), (Records{"alpha|0.5||x1", "gamma|2.5||x3", "delta|3.5||x4"}));
  EXPECT_EQ(ALIAS().asText(), "NEW");
  EXPECT_EQ(areas().areaOfAlias("__TMPAREA"), 0);
  EXPECT_EQ(areas().areas().size(), 1u);

  __DBZAP();
  rt().settings.deleted = false;
  __DBAPP(text("old.dbf"));
  EXPECT_EQ(records(), (Records{"alpha|0.5||x1", "beta|1.5||x2*", "gamma|2.5||x3", "delta|3.5||x4"}));
  EXPECT_TRUE(errors.empty());
}

TEST_F(AppendFrom, FieldListsAndScopes) {
  auto block = [](std::function<bool()> f) {
    return Value::block([f](std::span<const Value>) { return Value::logical(f()); });
  };
  // Blocks run with the source current: they read the source's fields.
  auto sourceName = [] { return FIELDGET(num(1)).asText(); };
  struct Case {
    const char* name;
    std::function<void()> append;
    Records expected;
  };
  const Records all = {"alpha|0.5||x1", "beta|1.5||x2*", "gamma|2.5||x3", "delta|3.5||x4"};
  const Case cases[] = {
      {"prefix rule: old->nam accepts NAME and NAMEX", [] { __DBAPP(text("old"), Value::array({text("old->nam")})); },
       {"alpha|0.0||x1", "beta|0.0||x2*", "gamma|0.0||x3", "delta|0.0||x4"}},
      {"a list naming only QTY", [] { __DBAPP(text("old"), Value::array({text("QTY")})); },
       {"|0.5||", "|1.5||*", "|2.5||", "|3.5||"}},
      {"NAMEX does not accept NAME", [] { __DBAPP(text("old"), Value::array({text("namex"), text("qty")})); },
       {"|0.5||x1", "|1.5||x2*", "|2.5||x3", "|3.5||x4"}},
      {"an empty list counts as none", [] { __DBAPP(text("old"), Value::array()); }, all},
      {"for", [&] { __DBAPP(text("old"), Value(), block([&] { return sourceName()[0] != 'g'; })); },
       {"alpha|0.5||x1", "beta|1.5||x2*", "delta|3.5||x4"}},
      {"while", [&] { __DBAPP(text("old"), Value(), Value(), block([&] { return sourceName()[0] != 'g'; })); },
       {"alpha|0.5||x1", "beta|1.5||x2*"}},
      {"next 3 counts records failing for",
       [&] { __DBAPP(text("old"), Value(), block([&] { return sourceName()[0] != 'b'; }), Value(), num(3)); },
       {"alpha|0.5||x1", "gamma|2.5||x3"}},
      {"record 3 only", [] { __DBAPP(text("old"), Value(), Value(), Value(), Value(), num(3)); }, {"gamma|2.5||x3"}},
      {"rest from the source's current (first) record",
       [] { __DBAPP(text("old"), Value(), Value(), Value(), Value(), Value(), Value::logical(true)); }, all},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    __DBZAP();
    c.append();
    EXPECT_EQ(records(), c.expected);
  }
  EXPECT_TRUE(errors.empty());
}

TEST_F(AppendFrom, TextLongerThanTheDestinationFieldIsCut) {
  DBCLOSEAREA();
  create("narrow", {fieldRow("NAME", "C", 3)});
  use("narrow");
  __DBAPP(text("old"));
  ASSERT_EQ(LASTREC().asDouble(), 4);
  DBGOTOP();
  EXPECT_EQ(FIELDGET(num(1)).asText(), "alp");
}

TEST_F(TableOps, ErrorsOfTheWholeTableCommands) {
  struct Case {
    const char* name;
    std::function<void()> run;
    int genCode, subCode;
    const char* operation;
    const char* notCreated;
  };
  auto structure = [](ValueArray rows) { return Value::array(std::move(rows)); };
  const Case cases[] = {
      {"ZAP read-only", [&] { makeNames({"a"}); DBCLOSEAREA(); use("t", false, true); __DBZAP(); }, 39, 1025, "", ""},
      {"PACK read-only", [&] { makeNames({"a"}); DBCLOSEAREA(); use("t", true, true); __DBPACK(); }, 39, 1025, "", ""},
      {"ZAP shared", [&] { makeNames({"a"}); DBCLOSEAREA(); use("t", true); __DBZAP(); }, 37, 1023, "", ""},
      {"PACK shared", [&] { makeNames({"a"}); DBCLOSEAREA(); use("t", true); __DBPACK(); }, 37, 1023, "", ""},
      {"DBCREATE empty name", [&] { DBCREATE(text(""), structure({fieldRow("A", "C", 1)})); }, 1, 1014, "DBCREATE", ""},
      {"DBCREATE empty structure", [&] { DBCREATE(text("ee"), structure({})); }, 1, 1014, "DBCREATE", "ee.dbf"},
      {"DBCREATE three-element row",
       [&] { DBCREATE(text("ee"), structure({Value::array({text("A"), text("C"), num(1)})})); }, 1, 1014,
       "DBCREATE", "ee.dbf"},
      {"DBCREATE length as text",
       [&] { DBCREATE(text("ee"), structure({Value::array({text("A"), text("C"), text("1"), num(0)})})); }, 1,
       1014, "DBCREATE", "ee.dbf"},
      {"DBCREATE reserved alias b", [&] { DBCREATE(text("b"), structure({fieldRow("A", "C", 1)})); }, 1, 1015,
       "DBCREATE", "b.dbf"},
      {"DBCREATE N(300)", [&] { DBCREATE(text("ee"), structure({fieldRow("A", "N", 300)})); }, 20, 1015, "DBCREATE",
       "ee.dbf"},
      {"DBCREATE unknown type", [&] { DBCREATE(text("ee"), structure({fieldRow("A", "Q", 3)})); }, 20, 1015,
       "DBCREATE", "ee.dbf"},
      {"DBCREATE unregistered driver",
       [&] { DBCREATE(text("ee"), structure({fieldRow("A", "C", 1)}), text("NOSUCH")); }, 20, 1015, "DBCREATE",
       "ee.dbf"},
      {"APPEND FROM without a table", [&] { __DBAPP(text("t")); }, 35, 2001, "DBAPP", ""},
      {"APPEND FROM unregistered driver",
       [&] { makeNames({"a"}); __DBAPP(text("t"), Value(), Value(), Value(), Value(), Value(), Value(), text("NOSUCH")); },
       1, 2019, "DBAPP", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DBCLOSEALL();
    errors.clear();
    c.run();
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.back().genCode, c.genCode);
    EXPECT_EQ(errors.back().subCode, c.subCode);
    EXPECT_EQ(errors.back().operation, c.operation);
    if (*c.notCreated) {
      EXPECT_FALSE(fs::exists(c.notCreated));
    }
  }
}

TEST_F(TableOps, DataFileThatCannotBeCreated) {
  DBCREATE(text("no/such/folder/t"), Value::array({fieldRow("A", "C", 1)}));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].genCode, 20);
  EXPECT_EQ(errors[0].subCode, 1004);
  EXPECT_NE(errors[0].fileName.find("t.dbf"), std::string::npos);
  EXPECT_NE(errors[0].osCode, 0);
  EXPECT_TRUE(errors[0].canRetry);
  EXPECT_TRUE(errors[0].canDefault);
  EXPECT_TRUE(areas().areas().empty());
  EXPECT_EQ(__RDDGETTEMPALIAS().asText(), "WKTMP001");
}

TEST_F(TableOps, DbcreateLeavesTheCurrentAreaAndAcceptsLetterX) {
  makeNames({"a"});
  EXPECT_TRUE(DBCREATE(text("x"), Value::array({fieldRow("A", "C", 1), fieldRow("NOTE", "M", 10)})).isNil());
  EXPECT_TRUE(fs::exists("x.dbf"));
  EXPECT_EQ(fs::file_size("x.dbt"), 512u);
  EXPECT_EQ(ALIAS().asText(), "T");
  EXPECT_EQ(areas().areas().size(), 1u);
  // An existing file is replaced; lOpenNew true opens it in the next free area.
  EXPECT_TRUE(DBCREATE(text("x"), Value::array({fieldRow("A", "C", 1)}), Value(), Value::logical(true)).asLogical());
  EXPECT_EQ(ALIAS().asText(), "X");
  EXPECT_EQ(SELECT().asDouble(), 2);
  EXPECT_EQ(FCOUNT().asDouble(), 1);
  EXPECT_EQ(SELECT(text("T")).asDouble(), 1);
  // lOpenNew false closes the current area's table and opens the new one there.
  DBSELECTAREA(num(1));
  EXPECT_TRUE(DBCREATE(text("y"), Value::array({fieldRow("B", "N", 4)}), Value(), Value::logical(false)).asLogical());
  EXPECT_EQ(SELECT().asDouble(), 1);
  EXPECT_EQ(ALIAS().asText(), "Y");
  EXPECT_EQ(SELECT(text("T")).asDouble(), 0);
  EXPECT_TRUE(errors.empty());
}

TEST_F(TableOps, AppendFromAMissingTableRaisesOpenThenNoTable) {
  makeNames({"a"});
  __DBAPP(text("missing"));
  std::vector<std::pair<int, int>> codes;
  for (const RuntimeError& e : errors)
    if (e.operation == "DBAPP") codes.emplace_back(e.genCode, e.subCode);
  EXPECT_EQ(codes, (std::vector<std::pair<int, int>>{{21, 0}, {35, 2001}}));
  EXPECT_EQ(ALIAS().asText(), "T");
  EXPECT_EQ(LASTREC().asDouble(), 1);
  EXPECT_EQ(areas().areas().size(), 1u);
}

TEST_F(TableOps, NoFreeTemporaryAlias) {
  for (int n = 1; n <= 999; ++n) {
    char alias[24];
    std::snprintf(alias, sizeof alias, "WKTMP%03d", n);
    areas().bindAlias(alias, 200);
  }
  EXPECT_EQ(__RDDGETTEMPALIAS().asText(), "");
  DBCREATE(text("ee"), Value::array({fieldRow("A", "C", 1)}));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].genCode, 18);
  EXPECT_EQ(errors[0].subCode, 1011);
  EXPECT_FALSE(fs::exists("ee.dbf"));
}

}  // namespace
}  // namespace talvor
