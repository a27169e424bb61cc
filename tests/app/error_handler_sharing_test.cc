// The error handler against a real second process that holds a table
// exclusively: the sharing refusal is quiet (NETERR, no dialog), and a Retry
// answered in the dialog repeats the open until the other process lets go.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <memory>

#include "app/error_handler.h"
#include "app/temp_dir.h"
#include "gui/recording_backend.h"
#include "gui/ui.h"
#include "gui/ui_backend.h"
#include "rdd/db_commands.h"
#include "rdd/table_ops.h"
#include "services/runtime.h"

namespace talvor {
namespace {

Value useTable(bool shared) {
  return DBUSEAREA(Value::logical(false), Value(), Value::text("t"), Value(), Value::logical(shared),
                   Value::logical(false));
}

class HeldTable : public ::testing::Test {
 protected:
  void SetUp() override {
    rt().reset();
    DBCREATE(Value::text("t"), Value::array({Value::array({Value::text("NAME"), Value::text("C"),
                                                           Value::integer(5), Value::integer(0)})}));
    auto backend = std::make_unique<RecordingBackend>();
    rec_ = backend.get();
    useUiBackend(std::move(backend));
    ERRORSYS();
  }
  void TearDown() override {
    DBCLOSEALL();
    rt().reset();
    if (holder_ > 0) waitpid(holder_, nullptr, 0);
  }
  // A child that opens the table exclusively, signals, and closes it when the
  // parent writes to `release` (or after 20 seconds).
  void holdElsewhere() {
    ASSERT_EQ(pipe(ready_), 0);
    ASSERT_EQ(pipe(release_), 0);
    holder_ = fork();
    if (holder_ == 0) {
      rt().reset();
      useTable(false);
      char c = 'x';
      (void)!write(ready_[1], &c, 1);
      alarm(20);
      (void)!read(release_[0], &c, 1);
      DBCLOSEALL();
      (void)!write(ready_[1], &c, 1);
      _exit(0);
    }
    char c;
    ASSERT_EQ(read(ready_[0], &c, 1), 1);
  }
  // Lets the holder close the table and waits until it has.
  void letGo() {
    char c = 'x';
    (void)!write(release_[1], &c, 1);
    (void)!read(ready_[0], &c, 1);
  }

  ScopedTempDir dir_;
  RecordingBackend* rec_ = nullptr;
  pid_t holder_ = -1;
  int ready_[2] = {-1, -1};
  int release_[2] = {-1, -1};
};

TEST_F(HeldTable, SharingRefusalSetsNetErrWithoutADialog) {
  holdElsewhere();
  useTable(true);
  EXPECT_TRUE(NETERR().asLogical());
  EXPECT_FALSE(USED().asLogical());
  EXPECT_TRUE(rec_->errorDialogs.empty());
  EXPECT_FALSE(dir_.exists("Error.log"));
  letGo();
}

// Answers every error dialog through a function of the test.
class ScriptedBackend : public UiBackend {
 public:
  explicit ScriptedBackend(std::function<ErrorChoice()> answer) : answer_(std::move(answer)) {}
  ErrorChoice errorDialog(const ErrorDialogSpec&) override { return answer_(); }

 private:
  std::function<ErrorChoice()> answer_;
};

TEST_F(HeldTable, RetryRepeatsTheOperationUntilTheOtherProcessLetsGo) {
  holdElsewhere();
  // Replacing a table that another process holds is refused with a "Create
  // error" that reaches the dialog; the second Retry comes after the holder
  // has closed the table, and the create then succeeds.
  int dialogs = 0;
  useUiBackend(std::make_unique<ScriptedBackend>([&]() {
    if (++dialogs == 2) letGo();
    return ErrorChoice::Retry;
  }));
  DBCREATE(Value::text("t"), Value::array({Value::array({Value::text("CODE"), Value::text("N"),
                                                         Value::integer(4), Value::integer(0)})}));
  EXPECT_EQ(dialogs, 2);
  useTable(false);
  ASSERT_TRUE(USED().asLogical());
  EXPECT_EQ(FIELDNAME(Value::integer(1)).asText(), "CODE");
}

}  // namespace
}  // namespace talvor
