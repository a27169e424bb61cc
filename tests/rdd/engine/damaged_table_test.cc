// Damaged data files: every one gives "Corruption detected" and a failed open,
// never a crash, and the failed open neither changes the file nor keeps it open.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "rdd/db_commands.h"
#include "rdd/file_system.h"
#include "services/runtime.h"
#include "support/scratch_folder_test.h"

namespace talvor {
namespace {

namespace fs = std::filesystem;

void writeBytes(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

void putU16(std::string& b, std::size_t at, uint16_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>(v >> 8);
}

// A sound table: one field NAME C(4), two records "AAAA" and "BBBB".
std::string soundTable() {
  std::string b(32, '\0');
  b[0] = 0x03;
  b[1] = 124;
  b[2] = 5;
  b[3] = 17;
  b[4] = 2;
  putU16(b, 8, 32 + 32 + 2);
  putU16(b, 10, 5);
  std::string d(32, '\0');
  d.replace(0, 4, "NAME");
  d[11] = 'C';
  d[16] = 4;
  return b + d + "\x0d" + std::string(1, '\0') + " AAAA BBBB\x1a";
}

struct DamageCase {
  const char* name;
  std::function<void(std::string&)> damage;
};

const DamageCase kDamageCases[] = {
    {"truncated header", [](std::string& b) { b.resize(20); }},
    {"empty file", [](std::string& b) { b.clear(); }},
    {"bad version byte", [](std::string& b) { b[0] = 0x04; }},
    {"header length beyond the file", [](std::string& b) { putU16(b, 8, 4000); }},
    {"descriptor count far beyond the file", [](std::string& b) { putU16(b, 8, 65535); }},
    {"header length below the header", [](std::string& b) { putU16(b, 8, 7); }},
    {"no descriptors", [](std::string& b) { b[32] = 0x0d; }},
    {"unknown field type letter", [](std::string& b) { b[32 + 11] = 'X'; }},
    {"type byte 0 in a version 0x30 table", [](std::string& b) {
       b[0] = 0x30;
       b[32 + 11] = 0;
     }},
    {"descriptors cut off mid-way", [](std::string& b) {
       putU16(b, 8, 32 + 3 * 32 + 2);
       b.resize(32 + 40);
     }},
};

class DamagedTable : public ScratchFolderTest {};

TEST_F(DamagedTable, RaisesCorruptionAndFailsTheOpen) {
  std::vector<RuntimeError> errors;
  rt().errorHandler = [&](RuntimeError& e) {
    errors.push_back(e);
    return ErrorAnswer{};
  };
  // The sound table opens, so each case fails for its damage alone.
  writeBytes("bad.dbf", soundTable());
  DBUSEAREA(Value(), Value(), Value::text("bad"));
  ASSERT_TRUE(USED().asLogical());
  EXPECT_EQ(LASTREC().asDouble(), 2);
  DBCLOSEAREA();
  ASSERT_TRUE(errors.empty());

  for (const DamageCase& c : kDamageCases) {
    SCOPED_TRACE(c.name);
    errors.clear();
    std::string bytes = soundTable();
    c.damage(bytes);
    writeBytes("bad.dbf", bytes);
    DBUSEAREA(Value(), Value(), Value::text("bad"));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].genCode, 32);
    EXPECT_EQ(errors[0].subCode, 1012);
    EXPECT_EQ(errors[0].description, "Corruption detected");
    EXPECT_EQ(errors[0].subsystem, "DBFNTX");
    EXPECT_EQ(fs::path(errors[0].fileName).filename(), "bad.dbf");
    EXPECT_TRUE(NETERR().asLogical());
    EXPECT_FALSE(USED().asLogical());
    EXPECT_EQ(fileBytes("bad.dbf"), bytes);
    // The failed open let go of the file: an exclusive open succeeds.
    EXPECT_NE(fileSystem().open("bad.dbf", fmode::ReadWrite | fmode::ShareExclusive), nullptr);
  }
}

TEST_F(DamagedTable, ARetryAnswerReadsADamagedHeaderAgain) {
  std::string bytes = soundTable();
  bytes[0] = 0x04;
  writeBytes("bad.dbf", bytes);
  int raised = 0;
  rt().errorHandler = [&](RuntimeError& e) {
    EXPECT_TRUE(e.canRetry);
    EXPECT_TRUE(e.canDefault);
    if (++raised == 1) {
      writeBytes("bad.dbf", soundTable());  // repaired while the error is shown
      return ErrorAnswer{Answer::Retry, {}};
    }
    return ErrorAnswer{};
  };
  DBUSEAREA(Value(), Value(), Value::text("bad"));
  EXPECT_EQ(raised, 1);
  EXPECT_TRUE(USED().asLogical());
  EXPECT_EQ(LASTREC().asDouble(), 2);
}

}  // namespace
}  // namespace talvor
