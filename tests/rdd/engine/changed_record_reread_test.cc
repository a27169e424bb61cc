// A changed record of an exclusive table reads back as changed however the
// reads and writes around it fall: the write-behind block and the read-ahead
// block must never hand out older bytes than the last write.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "rdd/db_commands.h"
#include "rdd/table_ops.h"
#include "services/runtime.h"
#include "support/scratch_folder_test.h"

namespace talvor {
namespace {

class ChangedRecordReread : public ScratchFolderTest {
 protected:
  void SetUp() override {
    ScratchFolderTest::SetUp();
    DBCREATE(Value::text("t"), Value::array({fieldRow("NUM", "N", 6)}));
    DBUSEAREA(Value::logical(false), Value(), Value::text("t"), Value(), Value::logical(false), Value::logical(false));
    ASSERT_TRUE(USED().asLogical());
    for (int i = 1; i <= 20; ++i) {
      DBAPPEND();
      FIELDPUT(Value::integer(1), Value::integer(i));
    }
    DBCOMMIT();
  }
  void change(int rec, int value) {
    DBGOTO(Value::integer(rec));
    FIELDPUT(Value::integer(1), Value::integer(value));
  }
  double valueOf(int rec) {
    DBGOTO(Value::integer(rec));
    return FIELDGET(Value::integer(1)).asDouble();
  }
};

// Record 7 waits in the write-behind block while a read of record 5 fetches 5
// and the records after it from the file; a write elsewhere then flushes 7.
TEST_F(ChangedRecordReread, AWriteWaitingWhileItsNeighboursAreReadIsNotLost) {
  change(7, 700);
  change(5, 500);
  change(11, 1100);
  EXPECT_EQ(valueOf(7), 700);
  EXPECT_EQ(valueOf(5), 500);
  EXPECT_EQ(valueOf(11), 1100);
  DBCLOSEAREA();
  DBUSEAREA(Value::logical(false), Value(), Value::text("t"), Value(), Value::logical(false), Value::logical(false));
  EXPECT_EQ(valueOf(7), 700);
}

TEST_F(ChangedRecordReread, RandomChangesAndReadsAgreeWithTheLastWrites) {
  std::vector<int> expected(21);
  for (int i = 1; i <= 20; ++i) expected[static_cast<std::size_t>(i)] = i;
  std::mt19937 rng(5);
  for (int step = 0; step < 2000 && !HasFailure(); ++step) {
    const int rec = static_cast<int>(rng() % 20) + 1;
    if (rng() % 2 == 0) {
      const int v = static_cast<int>(rng() % 100000);
      change(rec, v);
      expected[static_cast<std::size_t>(rec)] = v;
    } else {
      EXPECT_EQ(valueOf(rec), expected[static_cast<std::size_t>(rec)]) << "record " << rec << " at step " << step;
    }
  }
}

}  // namespace
}  // namespace talvor
