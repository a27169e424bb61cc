// End-to-end runs of the import on small data sets whose expected results are
// worked out by hand below.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/import_steps.h"
#include "app/progress_dialog.h"
#include "gui/recording_backend.h"
#include "gui/ui.h"
#include "rdd/area_registry.h"
#include "rdd/db_commands.h"
#include "rdd/dbfntx/ntx_check.h"
#include "rdd/table_ops.h"
#include "services/cipher.h"
#include "services/dates.h"
#include "services/runtime.h"
#include "support/scratch_folder_test.h"

namespace talvor {
namespace {

namespace fs = std::filesystem;

struct Field {
  const char* name;
  char type;
  int length;
  int decimals;
};

const std::vector<std::pair<const char*, std::vector<Field>>>& fixtureTables() {
  static const std::vector<std::pair<const char*, std::vector<Field>>> tables = {
      {"zalf", {{"ALLOY", 'C', 10, 0}, {"RATE", 'N', 8, 3}, {"ACTIVE", 'L', 1, 0}, {"VALID", 'D', 8, 0}}},
      {"metprice", {{"PH1", 'C', 2, 0}, {"PH2", 'C', 3, 0}, {"PH3", 'C', 4, 0}, {"METAL_PRIC", 'N', 10, 4}, {"UOM", 'C', 3, 0}}},
      {"metdisc", {{"CUSTOMER", 'N', 7, 0}, {"PH1", 'C', 2, 0}, {"PH2", 'C', 3, 0}, {"PH3", 'C', 4, 0},
                   {"DISCOUNT", 'N', 7, 2}, {"VALID_TO", 'D', 8, 0}, {"F1", 'C', 6, 0}, {"F2", 'C', 8, 0}}},
      {"mat", {{"PH1", 'C', 2, 0}, {"PH2", 'C', 3, 0}, {"PH3", 'C', 4, 0}, {"MATL_NO", 'N', 8, 0},
               {"GRP_SUBGRP", 'C', 6, 0}, {"MATL_REF", 'C', 20, 0}, {"MPG", 'C', 3, 0}, {"SECTION_NO", 'C', 10, 0},
               {"LENGTH", 'N', 6, 0}, {"MATL_DESC", 'C', 40, 0}, {"WT_PER_MTR", 'N', 9, 3}, {"PAINT_PERI", 'N', 8, 2},
               {"ANOD_PERI", 'N', 8, 2}, {"SURFACE_A", 'N', 8, 3}, {"WEIGHT", 'N', 9, 3}, {"MATL_GRP", 'C', 9, 0},
               {"SURFACE_CO", 'C', 4, 0}, {"BASE_UOM", 'C', 3, 0}, {"CREATED", 'D', 8, 0}}},
      {"pricesku", {{"MATL_NO", 'N', 8, 0}, {"METAL_PRIC", 'N', 10, 2}, {"MPG", 'C', 3, 0}, {"BASE_UOM", 'C', 3, 0},
                    {"AREA", 'N', 8, 3}, {"VALID_FROM", 'D', 8, 0}}},
      {"finph", {{"PH1", 'C', 2, 0}, {"PH2", 'C', 3, 0}, {"PH3", 'C', 4, 0}, {"FIN_PRICE", 'N', 10, 2}}},
      {"findisc", {{"CUSTOMER", 'N', 7, 0}, {"PH1", 'C', 2, 0}, {"PH2", 'C', 3, 0}, {"PH3", 'C', 4, 0},
                   {"DISCOUNT", 'N', 7, 2}, {"F1", 'C', 6, 0}, {"F2", 'C', 7, 0}}},
      {"skudisc", {{"CUSTOMER", 'N', 7, 0}, {"MATL_NO", 'N', 8, 0}, {"DISCOUNT", 'N', 7, 2}}},
      {"finsku", {{"MATL_NO", 'N', 8, 0}, {"FIN_PRICE", 'N', 10, 2}}},
      {"metkit", {{"MATL_NO", 'N', 8, 0}, {"PRICE", 'N', 10, 2}, {"KIT_DESC", 'C', 30, 0}}},
      {"uomdisc", {{"CUSTOMER", 'N', 7, 0}, {"UOM", 'C', 3, 0}, {"DISCOUNT", 'N', 7, 2}, {"F1", 'C', 6, 0}, {"F2", 'C', 7, 0}}},
      {"material", {{"PH1CODE", 'C', 2, 0}, {"PH2CODE", 'C', 3, 0}, {"PH3CODE", 'C', 4, 0}, {"MATL_NO", 'N', 8, 0},
                    {"LOOKUP", 'C', 6, 0}, {"SECTOLD", 'C', 10, 0}, {"MPG", 'C', 3, 0}, {"LENGTH", 'N', 6, 0},
                    {"DESC", 'C', 40, 0}, {"KG_M", 'N', 9, 3}, {"PP", 'N', 10, 3}, {"AP", 'N', 10, 3},
                    {"SAPSECT", 'C', 10, 0}, {"WEIGHT", 'N', 9, 3}, {"MATL_GRP", 'C', 9, 0}, {"SECTION_NO", 'C', 10, 0},
                    {"COLOURCODE", 'C', 4, 0}, {"AREA", 'N', 8, 3}, {"UOM", 'C', 3, 0}, {"PRICESKU", 'N', 12, 2},
                    {"KIT", 'L', 1, 0}, {"RATE_KG", 'N', 10, 4}, {"PRICEMILL", 'N', 12, 2}}},
  };
  return tables;
}

class ImportRun : public ScratchFolderTest {
 protected:
  void SetUp() override {
    ScratchFolderTest::SetUp();
    prepareRun();
  }

  // The run settings of the import, a recording UI, an error handler that notes
  // every error and answers Default, and the data set's empty tables.
  void prepareRun() {
    errors_.clear();
    rt().errorHandler = [this](RuntimeError& e) {
      if (e.genCode != gen::ZeroDivisor) errors_.push_back(e.messageLine());
      return ErrorAnswer{e.genCode == gen::ZeroDivisor ? Answer::Substitute : Answer::Default, Value::integer(0)};
    };
    auto backend = std::make_unique<RecordingBackend>();
    ui_ = backend.get();
    useUiBackend(std::move(backend));
    rt().settings.deleted = true;
    rt().settings.dateFormat = "dd/mm/yy";
    rt().settings.epoch = 1932;
    rt().settings.exclusive = true;
    createTables();
  }

  void createTables() {
    for (const auto& [name, fields] : fixtureTables()) {
      ValueArray rows;
      for (const auto& f : fields)
        rows.push_back(Value::array({Value::text(f.name), Value::text(std::string(1, f.type)),
                                     Value::integer(f.length), Value::integer(f.decimals)}));
      DBCREATE(Value::text(std::string(name) + ".dbf"), Value::array(std::move(rows)));
    }
    ValueArray staging;
    for (int i = 1; i <= 93; ++i)
      staging.push_back(Value::array({Value::text("F" + std::to_string(i)), Value::text("C"), Value::integer(30),
                                      Value::integer(0)}));
    DBCREATE(Value::text("data1.dbf"), Value::array(std::move(staging)));
  }

  static void write(const std::string& name, const std::vector<std::string>& lines) {
    std::ofstream out(name, std::ios::binary);
    for (const auto& l : lines) out << l << "\r\n";
  }

  void writeEveryExport() {
    write("talvor_zalf.csv", {"ALLOY,RATE,ACTIVE,VALID", "6060,1.125,T,20240101", "6082,2.5,Y,2012.02.14"});
    write("talvor_metal_ph.csv", {"PH1,PH2,PH3,METAL_PRIC,UOM", "AL,EXT,6060,2.5,KG", "ST,SHT,6060,4,M",
                                  "CU,ROD,6060,3,"});
    write("metdisc.txt", {"CUSTOMER,PH1,PH2,PH3,DISCOUNT,VALID_TO", "1234567,AL,EXT,6060,12.5,31/12/2030",
                          "4711,ST,SHT,6082,5.25-,"});
    write("mat.txt", {"PH1,PH2,PH3,MATL_NO,...",
                      "AL,EXT,6060,100001,G1,AB12#X1,A10,S1,6000,Desc 1,1.5,120,60,0,10.5,MG1,MILL,M,25/12/2011",
                      "ST,SHT,6082,100002,G2,REF2,,S2,3000,Desc 2,2,90,45,1,5,MG2,ANOD,M2,1.2.31",
                      "CU,TUB,1050,100003,G3,#LEAD,B20,S3,0,Desc 3,12-,50,40,2.5,7,MG3,PC01,KG,3/7/99",
                      "BR,ROD,5083,100004,G4,   #BL,C30,S4,6000,Desc 4,  1,60,30,0,4,MG4,PC02,EA,14.02.2012",
                      "AL,EXT,6082,1234567,G5,X#Y,D1,S5,6000,Desc 5,1,60,30,0,2,MG5,MILL,M,20120214",
                      "ST,SHT,6060,100006,G6,Z#,E1,S6,6000,Desc 6,1,60,30,2,8,MG6,MILL,M,",
                      "CU,ROD,6060,100007,G7,R7,F1,S7,2000,Desc 7,1,40,20,-1,9,MG7,MILL,M,"});
    write("pricesku.txt", {"MATL_NO,METAL_PRIC,MPG,BASE_UOM,AREA,VALID_FROM", "100002,10,P1,M2,2.5,01/01/2020",
                           "100003,8,P3,m2,3,", "7654321,77,P7,M,1,"});
    write("finph.txt", {"PH1,PH2,PH3,FIN_PRICE", "AL,EXT,6060,1.5", "ST,SHT,6060,2"});
    write("findisc.txt", {"CUSTOMER,PH1,PH2,PH3,DISCOUNT", "4711,AL,EXT,6060,7"});
    write("skudisc.txt", {"CUSTOMER,MATL_NO,DISCOUNT", "4711,100001,3"});
    write("finsku.txt", {"MATL_NO,FIN_PRICE", "100001,1.25"});
    write("talvor_metal_kit.csv", {"MATL_NO,PRICE,KIT_DESC", "100002,99,\"Kit, two\"", "100004,12.5,Kit four"});
    write("talvor_zuom_disc.csv", {"CUSTOMER,UOM,DISCOUNT", "4711,M,12.5"});
  }

  void runImport(const std::function<void(int)>& afterStep = {}) {
    const ProgressDialog dialog = openProgressDialog();
    runImportSteps(dialog.textControl, afterStep);
    closeProgressDialog(dialog);
  }

  // The records of a table as maps of field name to value.
  std::vector<std::map<std::string, Value>> rowsOf(const std::string& table) {
    std::vector<std::map<std::string, Value>> rows;
    DBUSEAREA(Value::logical(true), Value(), Value::text(table), Value(), Value::logical(false), Value::logical(true));
    for (DBGOTOP(); !EOF_().asLogical(); DBSKIP()) {
      std::map<std::string, Value> row;
      const int n = static_cast<int>(FCOUNT().asDouble());
      for (int i = 1; i <= n; ++i) row[FIELDNAME(Value::integer(i)).asText()] = FIELDGET(Value::integer(i));
      rows.push_back(std::move(row));
    }
    DBCLOSEAREA();
    return rows;
  }

  // The four index files pass the checker and hold one key per record of their table.
  void expectSoundIndexes() {
    for (const char* table : {"pricesku", "finph", "metkit", "metprice"}) {
      SCOPED_TRACE(table);
      const std::size_t records = rowsOf(table).size();
      auto file = fileSystem().open(std::string(table) + ".ntx", fmode::Read | fmode::ShareDenyNone);
      ASSERT_TRUE(file);
      const ntx::NtxCheckReport report = ntx::checkNtx(*file);
      EXPECT_TRUE(report.ok) << (report.damage.empty() ? "" : report.damage.front());
      EXPECT_EQ(report.keyCount, records);
    }
  }

  RecordingBackend* ui_ = nullptr;
  std::vector<std::string> errors_;
};

double num(const Value& v) { return v.isNumber() ? v.asDouble() : -999999; }
std::string txt(const Value& v) { return v.isText() ? v.asText() : "<not text>"; }
std::string trimmed(const Value& v) {
  std::string s = txt(v);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

TEST_F(ImportRun, DerivesTheMaterialMasterByEveryRule) {
  writeEveryExport();
  runImport();
  EXPECT_TRUE(errors_.empty()) << (errors_.empty() ? "" : errors_.front());
  const auto m = rowsOf("material");
  ASSERT_EQ(m.size(), 7u);
  struct Expect {
    const char* sectOld;
    const char* mpg;
    double pp, ap, area, priceSku;
    bool kit;
    double rateKg, priceMill, kgM;
  };
  const Expect expect[] = {
      // '#' cut; SURFACE_A 0: divisor 6000/1000; no SKU or kit price; metal price by KG: 10.5 x 2.5.
      {"AB12", "A10", 20, 10, 0, 0, false, 2.5, 26.25, 1.5},
      // no '#': SECTION_NO; SURFACE_A 1; SKU price wins over the kit; M2 times AREA; MPG from the SKU.
      {"S2", "P1", 90, 45, 1, 25, false, 0, 0, 2},
      // starts with '#'; LENGTH 0: zero divisor gives 0; m2 in lower case does not multiply; trailing minus.
      {"S3", "B20", 0, 0, 2.5, 8, false, 0, 0, 12},
      // only blanks before '#'; kit price; blank-led number.
      {"S4", "C30", 10, 5, 0, 12.5, true, 0, 0, 1},
      // seven digits format as six asterisks and find the SKU record with seven digits.
      {"X", "D1", 10, 5, 0, 77, false, 0, 0, 1},
      // metal price by another unit: AREA x RATE_KG.
      {"Z", "E1", 10, 5, 2, 0, false, 4, 8, 1},
      // a blank unit is another unit; SURFACE_A below 0 leaves AREA 0, so PRICEMILL is 0.
      {"S7", "F1", 20, 10, 0, 0, false, 3, 0, 1},
  };
  for (std::size_t i = 0; i < m.size(); ++i) {
    SCOPED_TRACE("material record " + std::to_string(i + 1));
    const auto& r = m[i];
    const Expect& e = expect[i];
    EXPECT_EQ(trimmed(r.at("SECTOLD")), e.sectOld);
    EXPECT_EQ(trimmed(r.at("MPG")), e.mpg);
    EXPECT_DOUBLE_EQ(num(r.at("PP")), e.pp);
    EXPECT_DOUBLE_EQ(num(r.at("AP")), e.ap);
    EXPECT_DOUBLE_EQ(num(r.at("AREA")), e.area);
    EXPECT_DOUBLE_EQ(num(r.at("PRICESKU")), e.priceSku);
    EXPECT_EQ(r.at("KIT").asLogical(), e.kit);
    EXPECT_DOUBLE_EQ(num(r.at("RATE_KG")), e.rateKg);
    EXPECT_DOUBLE_EQ(num(r.at("PRICEMILL")), e.priceMill);
    EXPECT_DOUBLE_EQ(num(r.at("KG_M")), e.kgM);
  }
}

TEST_F(ImportRun, TypesRawColumnsAndKeepsOrDropsHeaderLines) {
  writeEveryExport();
  runImport();
  const auto mat = rowsOf("mat");
  ASSERT_EQ(mat.size(), 7u);
  const int64_t expectedDates[] = {dayFromYmd(2011, 12, 25), dayFromYmd(2031, 2, 1), dayFromYmd(1999, 7, 3),
                                   dayFromYmd(2012, 2, 14), 0, 0, 0};
  for (std::size_t i = 0; i < mat.size(); ++i) EXPECT_EQ(mat[i].at("CREATED").asDay(), expectedDates[i]) << i;
  const auto metprice = rowsOf("metprice");
  ASSERT_EQ(metprice.size(), 3u);  // loses exactly its header line
  EXPECT_EQ(trimmed(metprice[0].at("PH1")), "AL");
  const auto zalf = rowsOf("zalf");
  ASSERT_EQ(zalf.size(), 3u);  // keeps its header line as a record
  EXPECT_EQ(trimmed(zalf[0].at("ALLOY")), "ALLOY");
  const auto kit = rowsOf("metkit");
  ASSERT_EQ(kit.size(), 3u);
  EXPECT_EQ(trimmed(kit[1].at("KIT_DESC")), "Kit, two");
  const auto uomdisc = rowsOf("uomdisc");
  ASSERT_EQ(uomdisc.size(), 2u);
  EXPECT_EQ(trimmed(uomdisc[0].at("UOM")), "UOM");
  EXPECT_EQ(trimmed(kit[0].at("KIT_DESC")), "KIT_DESC");
}

TEST_F(ImportRun, EncryptsDiscountsThatDecryptToTheirStrTexts) {
  writeEveryExport();
  runImport();
  const std::string key = "Wendal";
  auto plain = [&](const Value& v, std::size_t n) { return decryptText(txt(v).substr(0, n), &key); };
  const auto metdisc = rowsOf("metdisc");
  ASSERT_EQ(metdisc.size(), 2u);
  EXPECT_EQ(plain(metdisc[0].at("F1"), 6), "******");
  EXPECT_EQ(plain(metdisc[0].at("F2"), 7), "  12.50");
  EXPECT_EQ(plain(metdisc[1].at("F1"), 6), "  4711");
  EXPECT_EQ(plain(metdisc[1].at("F2"), 7), "   5.25");
  EXPECT_EQ(num(metdisc[1].at("CUSTOMER")), 0);
  EXPECT_EQ(num(metdisc[1].at("DISCOUNT")), 0);
  const auto uomdisc = rowsOf("uomdisc");
  ASSERT_EQ(uomdisc.size(), 2u);
  EXPECT_EQ(plain(uomdisc[0].at("F1"), 6), "     0");
  EXPECT_EQ(plain(uomdisc[1].at("F2"), 7), "  12.50");
  EXPECT_EQ(rowsOf("skudisc")[0].at("CUSTOMER").asDouble(), 4711);  // not encrypted
}

TEST_F(ImportRun, BuildsFourSoundIndexes) {
  writeEveryExport();
  runImport();
  expectSoundIndexes();
}

TEST_F(ImportRun, ShowsTheStepMessagesInOrder) {
  writeEveryExport();
  runImport();
  std::vector<std::string> steps;
  for (const auto& e : ui_->eventsStartingWith("text "))
    if (e.find("Records Added") == std::string::npos) steps.push_back(e.substr(5));
  const std::vector<std::string> expected = {
      "Please Wait..",
      "Processing TALVOR_ZALF.CSV - Please Wait...",
      "Processing TALVOR_METAL_PH .CSV - Please Wait...",
      "Processing TALVOR_METAL_PH_DISC.CSV - Please Wait...",
      "Processing TALVOR_MAT.CSV - Please Wait...",
      "Processing TALVOR_PRICE_SKU.CSV - Please Wait...",
      "Processing TALVOR_FIN_PH.CSV - Please Wait...",
      "Processing TALVOR_FIN_PH_DISC.CSV - Please Wait...",
      "Processing TALVOR_METAL_SKU_DISC.CSV - Please Wait...",
      "Processing TALVOR_FIN_SKU.CSV - Please Wait...",
      "Processing TALVOR_METAL_KIT.CSV - Please Wait...",
      "Processing TALVOR_ZUOM_DISC.CSV - Please Wait...",
      "Processing METPRICE.DBF - Please Wait...",
      "Processing MATERIAL.DBF - Please Wait...",
      "Encrypting Data - Please Wait...",
  };
  EXPECT_EQ(steps, expected);
  EXPECT_FALSE(ui_->eventsStartingWith("text Records Added to DATA1 3").empty());
}

TEST_F(ImportRun, PlacesTheTablesInTheirWorkAreas) {
  writeEveryExport();
  std::vector<std::string> placements;
  runImport([&](int step) {
    std::string text = "after " + std::to_string(step) + ":";
    for (const auto& [n, area] : areas().areas()) text += " " + std::to_string(n) + "=" + area->alias();
    placements.push_back(text + " current " + std::to_string(areas().current()));
  });
  const std::string base = " 1=ZALF 2=MAT 3=PRICESKU 4=METDISC 5=FINPH";
  const std::vector<std::string> expected = {
      "after 1: 1=ZALF current 1",
      "after 2: 1=ZALF current 2",
      "after 3: 1=ZALF 4=METDISC current 4",
      "after 4: 1=ZALF 2=MAT 4=METDISC current 2",
      "after 5: 1=ZALF 2=MAT 3=PRICESKU 4=METDISC current 3",
      "after 6:" + base + " current 5",
      "after 7:" + base + " 8=FINDISC current 8",
      "after 8:" + base + " 8=FINDISC 9=SKUDISC current 9",
      "after 9:" + base + " 8=FINDISC 9=SKUDISC 10=FINSKU current 10",
      "after 10:" + base + " 6=METKIT 8=FINDISC 9=SKUDISC 10=FINSKU current 6",
      "after 11:" + base + " 6=METKIT 7=UOMDISC 8=FINDISC 9=SKUDISC 10=FINSKU current 7",
      "after 12:" + base + " 6=METKIT 7=METPRICE 8=FINDISC 9=SKUDISC 10=FINSKU current 7",
      "after 13: current 1",
  };
  EXPECT_EQ(placements, expected);
}

TEST_F(ImportRun, MissingTextExportsLeaveEmptyTablesAndRunToTheEnd) {
  writeEveryExport();
  for (const char* f : {"metdisc.txt", "mat.txt", "pricesku.txt", "finph.txt", "findisc.txt", "skudisc.txt", "finsku.txt"})
    fs::remove(f);
  runImport();
  EXPECT_TRUE(errors_.empty()) << (errors_.empty() ? "" : errors_.front());
  for (const char* t : {"metdisc", "mat", "pricesku", "finph", "findisc", "skudisc", "finsku", "material"})
    EXPECT_TRUE(rowsOf(t).empty()) << t;
  expectSoundIndexes();
  EXPECT_EQ(rowsOf("metkit").size(), 3u);
  EXPECT_EQ(rowsOf("metprice").size(), 3u);
}

// A record as text: character fields without trailing blanks, numbers with
// their digits, dates as day numbers, joined by "|".
std::string rowText(const std::map<std::string, Value>& row, const std::vector<const char*>& names) {
  std::string out;
  for (const char* name : names) {
    if (!out.empty()) out += "|";
    const Value& v = row.at(name);
    if (v.isNumber()) {
      char buf[32];
      std::snprintf(buf, sizeof buf, "%g", v.asDouble());
      out += buf;
    } else if (v.isDate()) {
      out += std::to_string(v.asDay());
    } else {
      out += trimmed(v);
    }
  }
  return out;
}

// The bytes of one text export decide what its table holds; every other export
// is the ordinary fixture's.
TEST_F(ImportRun, RawExportBytesReachTheirTable) {
  const std::vector<const char*> finph = {"PH1", "PH2", "PH3", "FIN_PRICE"};
  const std::vector<const char*> skudisc = {"CUSTOMER", "MATL_NO", "DISCOUNT"};
  struct Case {
    const char* name;
    const char* file;
    std::string bytes;
    const char* table;
    std::vector<const char*> fields;
    std::vector<std::string> rows;
  };
  const Case cases[] = {
      // The quotes stay and the comma between them splits: every later column moves one field on.
      {"quoted comma", "finph.txt", "PH1,PH2,PH3,FIN_PRICE\r\n\"A,L\",EXT,6060,1.5\r\n", "finph", finph,
       {"\"A|L\"|EXT|6060"}},
      // Bare carriage returns: the first byte of every following line is passed over.
      {"bare carriage return", "finph.txt", "PH1,PH2,PH3,FIN_PRICE\rAL,EXT,6060,1.5\rST,SHT,6082,2\r", "finph", finph,
       {"L|EXT|6060|1.5", "T|SHT|6082|2"}},
      // The tab ends the data: the third line keeps only the field before its first comma,
      // the rest of the line and the fourth line are never read.
      {"tab ends the reading", "finph.txt", "PH1,PH2,PH3,FIN_PRICE\r\nAL,EXT,6060,1.5\r\nST,S\tHT,6082,2\r\nCU,TUB,1050,3\r\n",
       "finph", finph, {"AL|EXT|6060|1.5", "ST|||0"}},
      // A bare line feed ends the data inside the header line: nothing is transferred.
      {"bare line feed", "finph.txt", "PH1,PH2,PH3,FIN_PRICE\nAL,EXT,6060,1.5\n", "finph", finph, {}},
      // Only a header line, and no line at all.
      {"header only", "skudisc.txt", "CUSTOMER,MATL_NO,DISCOUNT\r\n", "skudisc", skudisc, {}},
      {"empty file", "skudisc.txt", "", "skudisc", skudisc, {}},
      // Columns in another order than the fields, an empty line, a short line, a last line without CR LF.
      {"positions, not names", "skudisc.txt",
       "MATL_NO,CUSTOMER,DISCOUNT\r\n100001,4711,3\r\n\r\n12\r\n5,6,7", "skudisc", skudisc,
       {"100001|4711|3", "0|0|0", "12|0|0", "5|6|0"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DBCLOSEALL();
    rt().reset();
    for (const auto& entry : fs::directory_iterator(fs::current_path())) fs::remove_all(entry.path());
    prepareRun();
    writeEveryExport();
    std::ofstream(c.file, std::ios::binary) << c.bytes;
    runImport();
    EXPECT_TRUE(errors_.empty()) << (errors_.empty() ? "" : errors_.front());
    std::vector<std::string> rows;
    for (const auto& r : rowsOf(c.table)) rows.push_back(rowText(r, c.fields));
    EXPECT_EQ(rows, c.rows);
    expectSoundIndexes();
  }
}

// A staging table with a memo column among its character columns: the column's
// texts go through the memo file and reach the targets unchanged.
TEST_F(ImportRun, StagingTableWithAMemoColumnFillsTheTargetsAlike) {
  ValueArray staging;
  for (int i = 1; i <= 93; ++i)
    staging.push_back(Value::array({Value::text("F" + std::to_string(i)), Value::text(i == 3 ? "M" : "C"),
                                    Value::integer(i == 3 ? 10 : 30), Value::integer(0)}));
  DBCREATE(Value::text("data1.dbf"), Value::array(std::move(staging)));
  writeEveryExport();
  runImport();
  EXPECT_TRUE(errors_.empty()) << (errors_.empty() ? "" : errors_.front());
  std::vector<std::string> finph;
  for (const auto& r : rowsOf("finph")) finph.push_back(rowText(r, {"PH1", "PH2", "PH3", "FIN_PRICE"}));
  EXPECT_EQ(finph, (std::vector<std::string>{"AL|EXT|6060|1.5", "ST|SHT|6060|2"}));
  std::vector<std::string> skudisc;
  for (const auto& r : rowsOf("skudisc")) skudisc.push_back(rowText(r, {"CUSTOMER", "MATL_NO", "DISCOUNT"}));
  EXPECT_EQ(skudisc, (std::vector<std::string>{"4711|100001|3"}));
  const auto m = rowsOf("material");
  ASSERT_EQ(m.size(), 7u);
  EXPECT_EQ(trimmed(m[0].at("PH3CODE")), "6060");
  EXPECT_EQ(trimmed(m[0].at("SECTOLD")), "AB12");
}

// A line of 100 columns in the last raw export: data1 keeps its first 93, and the
// next line starts again at F1.
TEST_F(ImportRun, ColumnsPast93AreDroppedAndTheNextLineStartsAtF1) {
  writeEveryExport();
  std::string wide = "100001,1.25";
  for (int i = 3; i <= 100; ++i) wide += "," + std::to_string(i);
  write("finsku.txt", {"MATL_NO,FIN_PRICE", wide, "100002,2"});
  runImport();
  EXPECT_TRUE(errors_.empty()) << (errors_.empty() ? "" : errors_.front());
  std::vector<std::string> finsku;
  for (const auto& r : rowsOf("finsku")) finsku.push_back(rowText(r, {"MATL_NO", "FIN_PRICE"}));
  EXPECT_EQ(finsku, (std::vector<std::string>{"100001|1.25", "100002|2"}));
  const auto staging = rowsOf("data1");
  ASSERT_EQ(staging.size(), 3u);
  EXPECT_EQ(trimmed(staging[1].at("F92")), "92");
  EXPECT_EQ(trimmed(staging[1].at("F93")), "93");
  EXPECT_EQ(trimmed(staging[2].at("F1")), "100002");
  EXPECT_EQ(trimmed(staging[2].at("F2")), "2");
  EXPECT_EQ(trimmed(staging[2].at("F3")), "");
}

}  // namespace
}  // namespace talvor
