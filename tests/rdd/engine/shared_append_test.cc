// Two processes appending to one shared table at the same time, as user programs
// do: the append lock serialises them, and no record is lost or torn.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
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

constexpr int kPerWriter = 5000;
// Header 32 + 3 descriptors + 2; record 1 + 1 + 6 + 12.
constexpr std::size_t kHeaderLength = 32 + 3 * 32 + 2;
constexpr std::size_t kRecordLength = 20;

std::string note(char writer, int seq) { return std::string(1, writer) + "-" + std::to_string(seq); }

// The writer's loop; returns the process exit code (0 = every append went through).
int appendAsWriter(char writer, int startPipe) {
  rt().errorHandler = [](RuntimeError& e) -> ErrorAnswer { _exit(10 + e.genCode % 50); };
  char go;
  if (read(startPipe, &go, 1) != 1) return 2;
  DBUSEAREA(Value::logical(false), Value(), Value::text("shared"), Value(), Value::logical(true));
  if (!USED().asLogical()) return 3;
  for (int seq = 1; seq <= kPerWriter; ++seq) {
    DBAPPEND();
    if (NETERR().asLogical()) return 4;
    FIELDPUT(Value::integer(1), Value::text(std::string(1, writer)));
    FIELDPUT(Value::integer(2), Value::integer(seq));
    FIELDPUT(Value::integer(3), Value::text(note(writer, seq)));
    if (seq % 1000 == 0) DBCOMMIT();
    DBUNLOCK();
  }
  DBCLOSEAREA();
  return 0;
}

class SharedAppend : public ScratchFolderTest {};

TEST_F(SharedAppend, TwoProcessesAppendingTogetherKeepEveryRecordAndTheCount) {
  DBCREATE(Value::text("shared"), Value::array({fieldRow("WRITER", "C", 1), fieldRow("SEQ", "N", 6), fieldRow("NOTE", "C", 12)}));
  int start[2];
  ASSERT_EQ(pipe(start), 0);
  std::vector<pid_t> children;
  for (char writer : {'A', 'B'}) {
    const pid_t pid = fork();
    if (pid == 0) {
      close(start[1]);
      _exit(appendAsWriter(writer, start[0]));
    }
    ASSERT_GT(pid, 0);
    children.push_back(pid);
  }
  close(start[0]);
  ASSERT_EQ(write(start[1], "gg", 2), 2);  // both start at once
  close(start[1]);
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer exit status " << status;
  }

  // The file as it stands: the header's count and the size agree.
  std::ifstream in("shared.dbf", std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), {});
  ASSERT_GE(bytes.size(), kHeaderLength);
  const uint32_t headerCount = static_cast<uint8_t>(bytes[4]) | static_cast<uint8_t>(bytes[5]) << 8 |
                               static_cast<uint8_t>(bytes[6]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(bytes[7])) << 24;
  EXPECT_EQ(headerCount, 2u * kPerWriter);
  EXPECT_EQ(bytes.size(), kHeaderLength + 2 * kPerWriter * kRecordLength);

  // Every (writer, sequence) pair once, each record whole.
  DBUSEAREA(Value::logical(false), Value(), Value::text("shared"), Value(), Value::logical(false));
  ASSERT_TRUE(USED().asLogical());
  EXPECT_EQ(LASTREC().asDouble(), 2 * kPerWriter);
  std::vector<int> seen(2 * (kPerWriter + 1), 0);
  int switches = 0;
  char previous = 0;
  for (DBGOTOP(); !EOF_().asLogical(); DBSKIP()) {
    const std::string writer = FIELDGET(Value::integer(1)).asText();
    const int seq = static_cast<int>(FIELDGET(Value::integer(2)).asDouble());
    ASSERT_TRUE(writer == "A" || writer == "B") << "record " << RECNO().asDouble();
    ASSERT_TRUE(seq >= 1 && seq <= kPerWriter) << "record " << RECNO().asDouble();
    EXPECT_EQ(FIELDGET(Value::integer(3)).asText(), (note(writer[0], seq) + "            ").substr(0, 12));
    EXPECT_FALSE(DELETED().asLogical());
    ++seen[(writer[0] - 'A') * (kPerWriter + 1) + seq];
    if (writer[0] != previous) ++switches;
    previous = writer[0];
  }
  for (int w = 0; w < 2; ++w)
    for (int seq = 1; seq <= kPerWriter; ++seq)
      ASSERT_EQ(seen[w * (kPerWriter + 1) + seq], 1) << "writer " << char('A' + w) << " sequence " << seq;
  RecordProperty("writer_switches", switches);
}

}  // namespace
}  // namespace talvor
