#include "util/record_helpers.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "gui/recording_backend.h"
#include "gui/test_clock.h"
#include "gui/ui.h"
#include "rdd/db_commands.h"
#include "rdd/table_ops.h"
#include "services/runtime.h"
#include "support/scratch_folder_test.h"

namespace talvor {
namespace {

namespace fs = std::filesystem;

class RecordHelpers : public ScratchFolderTest {
 protected:
  void SetUp() override {
    ScratchFolderTest::SetUp();
    clock_ = std::make_shared<TestClock>();
    setClock(clock_);
    auto backend = std::make_unique<RecordingBackend>();
    ui_ = backend.get();
    useUiBackend(std::move(backend));
    rt().errorHandler = [this](RuntimeError& e) {
      if (e.genCode == gen::Readonly || e.genCode == gen::Open) ++raised;
      if ((e.genCode == gen::Open && (e.osCode == 32 || e.osCode == 5)) || e.genCode == gen::Readonly)
        rt().netErr = true;
      return ErrorAnswer{};
    };
    DBCREATE(Value::text("t"), Value::array({Value::array({Value::text("A"), Value::text("C"), Value::integer(3),
                                                           Value::integer(0)})}));
  }
  std::shared_ptr<TestClock> clock_;
  RecordingBackend* ui_ = nullptr;
  int raised = 0;
};

TEST_F(RecordHelpers, AddrecRetriesWithinItsBudgetThenShowsTheNotice) {
  // A read-only table refuses every append.
  DBUSEAREA(Value::logical(false), Value(), Value::text("t"), Value(), Value::logical(false), Value::logical(true));
  EXPECT_FALSE(ADDREC(Value::integer(2)).asLogical());
  EXPECT_EQ(raised, 102);
  EXPECT_NEAR(clock_->slept, 101 * 0.2 + 2, 1e-6);  // 101 pauses of 0.2 s and the 2-second notice
  EXPECT_FALSE(ui_->eventsStartingWith("notice Information: Unable to add record.").empty());
  raised = 0;
  EXPECT_FALSE(ADDREC(Value::integer(-1)).asLogical());
  EXPECT_EQ(raised, 1);
}

TEST_F(RecordHelpers, AddrecAndReclockSucceedAtOnceOnAnExclusiveTable) {
  DBUSEAREA(Value::logical(false), Value(), Value::text("t"));
  EXPECT_TRUE(ADDREC(Value::integer(2)).asLogical());
  EXPECT_TRUE(RECLOCK(Value::integer(2)).asLogical());
  EXPECT_EQ(clock_->slept, 0);
  EXPECT_EQ(LASTREC().asDouble(), 1);
  const Value blank = GETREC(Value::integer(0), Value::integer(1));
  ASSERT_EQ(blank.asArray().size(), 1u);
  EXPECT_EQ(blank.asArray()[0].asText(), "   ");
}

TEST_F(RecordHelpers, NetuseTriesItsBudgetAgainstATableHeldElsewhere) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  if (child == 0) {
    rt().reset();
    DBUSEAREA(Value::logical(false), Value(), Value::text("t"), Value(), Value::logical(false));
    char c = 'x';
    (void)!write(ready[1], &c, 1);
    ::sleep(2);
    _exit(0);
  }
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  EXPECT_FALSE(NETUSE(Value::text("t"), Value::logical(false), Value::integer(3)).asLogical());
  EXPECT_EQ(raised, 3);
  EXPECT_NEAR(clock_->slept, 3.0, 1e-6);  // a 1-second pause after each attempt
  EXPECT_FALSE(NETUSE(Value::text("t"), Value::logical(false), Value::integer(-1)).asLogical());
  EXPECT_EQ(raised, 3);
  int status = 0;
  waitpid(child, &status, 0);
}

}  // namespace
}  // namespace talvor
