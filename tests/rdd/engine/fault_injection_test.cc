// I/O failures injected under the table engine: every failure gives its run-time
// error, and no file is left unreadable by a failed write.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "rdd/db_commands.h"
#include "rdd/dbfntx/order_commands.h"
#include "rdd/fault_file_system.h"
#include "rdd/table_ops.h"
#include "services/runtime.h"
#include "support/scratch_folder_test.h"

namespace talvor {
namespace {

namespace fs = std::filesystem;

// Header 32 + 2 descriptors + 2 = 98 bytes; records of 1 + 8 + 6 = 15 bytes.
constexpr uint64_t kHeaderLength = 98;
constexpr uint64_t kRecordLength = 15;

class FaultInjection : public CollectingErrorsTest {
 protected:
  void SetUp() override {
    CollectingErrorsTest::SetUp();
    setFileSystem(&faults);
  }
  void TearDown() override {
    faults.clear();
    ScratchFolderTest::TearDown();
    setFileSystem(nullptr);
  }
  void createTable() { DBCREATE(Value::text("t"), Value::array({fieldRow("NAME", "C", 8), fieldRow("SEQ", "N", 6)})); }
  void use(bool shared) {
    DBUSEAREA(Value::logical(false), Value(), Value::text("t"), Value(), Value::logical(shared), Value::logical(false));
  }
  void appendNumbered(int count) {
    for (int i = 1; i <= count; ++i) {
      DBAPPEND();
      FIELDPUT(Value::integer(1), Value::text("rec"));
      FIELDPUT(Value::integer(2), Value::integer(i));
    }
  }
  // A table of `count` records 1..count, written and closed without faults.
  void tableWithRecords(int count) {
    createTable();
    use(false);
    appendNumbered(count);
    DBCLOSEAREA();
  }
  void expectError(const RuntimeError& e, int genCode, int subCode, const char* text, int osCode) {
    EXPECT_EQ(e.genCode, genCode);
    EXPECT_EQ(e.subCode, subCode);
    EXPECT_EQ(e.description, text);
    EXPECT_EQ(e.osCode, osCode);
    EXPECT_EQ(e.subsystem, "DBFNTX");
    EXPECT_EQ(fs::path(e.fileName).filename(), "t.dbf") << e.fileName;
  }

  FaultFileSystem faults{fileSystem()};
};

struct TransferCase {
  const char* name;
  bool shared;
  int64_t shortBytes;  // -1: the call fails
  int osCode;
};

const TransferCase kTransferCases[] = {
    {"exclusive, failing", false, -1, 23},
    {"exclusive, short", false, 5, 0},
    {"shared, failing", true, -1, 30},
    {"shared, short with a code", true, 5, 112},
};

TEST_F(FaultInjection, AFailedRecordReadRaisesReadErrorAndTheNextReadSucceeds) {
  tableWithRecords(3);
  for (const TransferCase& c : kTransferCases) {
    SCOPED_TRACE(c.name);
    errors.clear();
    use(c.shared);
    DBGOTO(Value::integer(2));
    faults.add({FileCall::Read, ".dbf", 1, false, c.shortBytes, c.osCode});
    EXPECT_TRUE(FIELDGET(Value::integer(2)).isNil());
    ASSERT_EQ(errors.size(), 1u);
    expectError(errors[0], 23, 1010, "Read error", c.osCode);
    EXPECT_EQ(FIELDGET(Value::integer(2)).asDouble(), 2);
    DBCLOSEAREA();
    faults.clear();
  }
}

TEST_F(FaultInjection, AFailedRecordWriteRaisesWriteErrorAndKeepsTheChangeForTheNextWrite) {
  tableWithRecords(3);
  for (const TransferCase& c : kTransferCases) {
    SCOPED_TRACE(c.name);
    errors.clear();
    use(c.shared);
    DBGOTO(Value::integer(2));
    if (c.shared) {
      ASSERT_TRUE(RLOCK().asLogical());
    }
    FIELDPUT(Value::integer(1), Value::text(c.name));
    // Exclusive: the change waits in the write-behind block until the commit.
    faults.add({FileCall::Write, ".dbf", 1, false, c.shortBytes, c.osCode});
    DBCOMMIT();
    ASSERT_EQ(errors.size(), 1u);
    expectError(errors[0], 24, 1011, "Write error", c.osCode);
    DBCOMMIT();
    DBCLOSEAREA();
    EXPECT_EQ(errors.size(), 1u);
    use(false);
    DBGOTO(Value::integer(2));
    EXPECT_EQ(FIELDGET(Value::integer(1)).asText(), std::string(c.name).substr(0, 8));
    DBCLOSEAREA();
    faults.clear();
  }
}

// The file as a reader that trusts the header sees it: the header's count must
// match the whole records on disk, each holding its own sequence number.
void expectConsistentTable(const std::string& bytes, uint32_t expectedCount) {
  ASSERT_GE(bytes.size(), kHeaderLength);
  const uint32_t count = u32At(bytes, 4);
  EXPECT_EQ(count, expectedCount);
  EXPECT_EQ((bytes.size() - kHeaderLength) / kRecordLength, count);
  for (uint32_t n = 1; n <= count && n <= expectedCount; ++n) {
    const std::string seq = bytes.substr(kHeaderLength + (n - 1) * kRecordLength + 9, 6);
    ASSERT_EQ(std::stoi(seq), static_cast<int>(n)) << "record " << n;
  }
}

// Debian's python3-dbfread trusts the header's count; it must read every record
// the header counts, the last one holding its own number.
void expectIndependentReaderSees(uint32_t count) {
  if (std::system("/usr/bin/python3 -c 'import dbfread' 2>/dev/null") != 0) return;
  std::ofstream("read.py") << "import dbfread\n"
                              "rows = list(dbfread.DBF('t.dbf'))\n"
                              "print(len(rows), int(rows[-1]['SEQ']))\n";
  ASSERT_EQ(std::system("/usr/bin/python3 read.py > out.txt 2>&1"), 0) << fileBytes("out.txt");
  EXPECT_EQ(fileBytes("out.txt"), std::to_string(count) + " " + std::to_string(count) + "\n");
}

struct FullDiskCase {
  const char* name;
  int appends;
  uint64_t limit;     // the file may not grow beyond this size
  uint32_t survivors; // whole records that fit
};

const FullDiskCase kFullDiskCases[] = {
    // Every record waits in the write-behind block until the close.
    {"at close, mid-record", 5000, kHeaderLength + 2500 * kRecordLength + 7, 2500},
    {"at close, on a record boundary", 5000, kHeaderLength + 2500 * kRecordLength, 2500},
    // More records than one block: the disk fills while appending.
    {"while appending", 40000, kHeaderLength + 20000 * kRecordLength + 3, 20000},
};

TEST_F(FaultInjection, AFullDiskLeavesATableWhoseHeaderCountsTheRecordsOnDisk) {
  for (const FullDiskCase& c : kFullDiskCases) {
    SCOPED_TRACE(c.name);
    errors.clear();
    createTable();
    use(false);
    faults.limitFileSize(c.limit, ".dbf");
    int appended = 0;
    while (appended < c.appends && errors.empty()) {
      DBAPPEND();
      if (NETERR().asLogical()) break;
      ++appended;
      FIELDPUT(Value::integer(1), Value::text("rec"));
      FIELDPUT(Value::integer(2), Value::integer(appended));
    }
    DBCLOSEAREA();
    ASSERT_FALSE(errors.empty());
    expectError(errors[0], 24, 1011, "Write error", 112);
    faults.clear();
    const std::string bytes = fileBytes("t.dbf");
    expectConsistentTable(bytes, c.survivors);
    EXPECT_LE(bytes.size(), c.limit);
    expectIndependentReaderSees(c.survivors);
    errors.clear();
    use(false);
    ASSERT_TRUE(USED().asLogical()) << (errors.empty() ? "" : errors[0].messageLine());
    EXPECT_EQ(LASTREC().asDouble(), c.survivors);
    DBGOBOTTOM();
    EXPECT_EQ(FIELDGET(Value::integer(2)).asDouble(), c.survivors);
    // The table takes further appends once there is room again.
    DBAPPEND();
    FIELDPUT(Value::integer(2), Value::integer(c.survivors + 1));
    DBCLOSEAREA();
    EXPECT_TRUE(errors.empty());
    expectConsistentTable(fileBytes("t.dbf"), c.survivors + 1);
  }
}

TEST_F(FaultInjection, RefusedLocksInASharedTable) {
  tableWithRecords(3);
  use(true);
  // A refused record lock is an answer, not an error.
  faults.add({FileCall::Lock, ".dbf", 1, false, -1, 33});
  EXPECT_FALSE(RLOCK().asLogical());
  EXPECT_TRUE(errors.empty());
  // The append lock waits: a failed attempt is tried again.
  faults.add({FileCall::Lock, ".dbf", 1, false, -1, 33});
  DBAPPEND();
  EXPECT_FALSE(NETERR().asLogical());
  EXPECT_EQ(LASTREC().asDouble(), 4);
  EXPECT_TRUE(errors.empty());
  // The new record's lock refused: "Append lock failed", and no record is added.
  DBUNLOCK();
  faults.add({FileCall::Lock, ".dbf", 2, false, -1, 33});
  DBAPPEND();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].genCode, 40);
  EXPECT_EQ(errors[0].subCode, 1024);
  EXPECT_TRUE(errors[0].canDefault);
  EXPECT_TRUE(NETERR().asLogical());
  EXPECT_EQ(LASTREC().asDouble(), 4);
  DBAPPEND();
  EXPECT_FALSE(NETERR().asLogical());
  EXPECT_EQ(LASTREC().asDouble(), 5);
}

TEST_F(FaultInjection, RefusedOpenAndCreateRaiseTheirErrorsWithTheOsCode) {
  createTable();
  faults.add({FileCall::Open, ".dbf", 1, false, -1, 5});
  use(false);
  ASSERT_EQ(errors.size(), 1u);
  expectError(errors[0], 21, 1001, "Open error", 5);
  EXPECT_TRUE(errors[0].canRetry);
  EXPECT_TRUE(NETERR().asLogical());
  EXPECT_FALSE(USED().asLogical());

  errors.clear();
  faults.add({FileCall::Create, ".dbf", 1, false, -1, 112});
  createTable();
  ASSERT_EQ(errors.size(), 1u);
  expectError(errors[0], 20, 1004, "Create error", 112);

  // A retry answer opens again, and the second attempt succeeds.
  errors.clear();
  rt().errorHandler = [this](RuntimeError& e) {
    errors.push_back(e);
    return ErrorAnswer{errors.size() == 1 ? Answer::Retry : Answer::Default, {}};
  };
  faults.add({FileCall::Open, ".dbf", 1, false, -1, 32});
  use(false);
  EXPECT_EQ(errors.size(), 1u);
  EXPECT_TRUE(USED().asLogical());
}

// A commit the operating system refuses, and an index page that cannot be
// written, may leave bytes off the disk: each raises "Write error" with the file
// and the OS code instead of passing for a success.
TEST_F(FaultInjection, ARefusedCommitRaisesWriteError) {
  tableWithRecords(2);
  use(false);
  appendNumbered(1);
  faults.add({FileCall::Commit, ".dbf", 1, false, -1, 5});
  DBCOMMIT();
  ASSERT_EQ(errors.size(), 1u);
  expectError(errors[0], 24, 1011, "Write error", 5);
  DBCLOSEAREA();
  EXPECT_EQ(errors.size(), 1u);  // the close found nothing left to commit
}

TEST_F(FaultInjection, AFailedIndexPageWriteRaisesWriteErrorWithTheIndexFile) {
  tableWithRecords(5);
  use(false);
  DBCREATEINDEX(Value::text("seq"), Value::text("SEQ"));
  ASSERT_TRUE(errors.empty());
  DBGOTO(Value::integer(3));
  FIELDPUT(Value::integer(2), Value::integer(99));
  faults.add({FileCall::Write, ".ntx", 1, false, -1, 112});
  DBCOMMIT();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].genCode, 24);
  EXPECT_EQ(errors[0].subCode, 1011);
  EXPECT_EQ(errors[0].osCode, 112);
  EXPECT_EQ(fs::path(errors[0].fileName).filename(), "seq.ntx") << errors[0].fileName;
  DBCLOSEAREA();
  EXPECT_EQ(errors.size(), 1u);
}

}  // namespace
}  // namespace talvor
