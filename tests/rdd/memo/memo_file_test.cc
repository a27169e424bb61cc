#include <gtest/gtest.h>

#include <string>

#include "rdd/dbfntx/memory_file.h"
#include "rdd/memo_file.h"

namespace talvor::dbt {
namespace {

using ntx::testing::MemoryFile;

std::string referenceBytes(uint64_t block, uint32_t length) {
  std::string bytes(length, '?');
  encodeReference(block, reinterpret_cast<uint8_t*>(bytes.data()), length);
  return bytes;
}

uint64_t decoded(const std::string& bytes) {
  return decodeReference(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<uint32_t>(bytes.size()));
}

TEST(MemoReference, EncodesAndDecodesBothWidths) {
  EXPECT_EQ(referenceBytes(0, 10), std::string(10, ' '));
  EXPECT_EQ(referenceBytes(1, 10), "         1");
  EXPECT_EQ(referenceBytes(4294967295u, 10), "4294967295");
  EXPECT_EQ(referenceBytes(0x01020304, 4), std::string("\x04\x03\x02\x01", 4));
  struct Case {
    std::string bytes;
    uint64_t block;
  } cases[] = {
      {"         1", 1},
      {std::string(10, ' '), 0},
      {"0000000012", 12},
      {" 1 2x\x1A" "3   ", 123},  // only the digits count
      {"9999999999", 9999999999ull},
      {std::string("\x04\x03\x02\x01", 4), 0x01020304},
  };
  for (const auto& c : cases) EXPECT_EQ(decoded(c.bytes), c.block) << c.bytes;
}

class MemoFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(memo.initialise()); }
  uint32_t nextFree() {
    uint32_t n = 0;
    EXPECT_TRUE(memo.readNextFree(n));
    return n;
  }
  std::string read(uint64_t block) {
    std::string text;
    EXPECT_TRUE(memo.readText(block, text));
    return text;
  }
  uint64_t write(uint64_t old, const std::string& text) {
    uint64_t block = 0;
    EXPECT_TRUE(memo.writeText(old, text, block));
    return block;
  }
  MemoryFile file;
  MemoFile memo{file};
};

TEST_F(MemoFileTest, InitialiseLeavesOneHeaderBlockAndCutsTheRest) {
  EXPECT_EQ(file.bytes, std::vector<uint8_t>([] {
              std::vector<uint8_t> h(512, 0);
              h[0] = 1;
              return h;
            }()));
  write(0, std::string(2000, 'x'));
  ASSERT_TRUE(memo.initialise());
  EXPECT_EQ(file.bytes.size(), 512u);
  EXPECT_EQ(nextFree(), 1u);
}

TEST_F(MemoFileTest, AppendPadsWithEndMarksAndAdvancesNextFree) {
  struct Case {
    std::size_t length;
    uint32_t nextFree;
  } cases[] = {{3, 2}, {510, 2}, {511, 3}, {512, 3}, {1023, 4}, {1024, 4}};
  for (const auto& c : cases) {
    ASSERT_TRUE(memo.initialise());
    const std::string text(c.length, 'a');
    EXPECT_EQ(write(0, text), 1u);
    EXPECT_EQ(nextFree(), c.nextFree) << c.length;
    const std::size_t padding = 512 - c.length % 512;
    ASSERT_EQ(file.bytes.size(), 512 + c.length + padding);
    for (std::size_t i = 512 + c.length; i < file.bytes.size(); ++i) ASSERT_EQ(file.bytes[i], 0x1A) << i;
    EXPECT_EQ(read(1), text);
  }
}

TEST_F(MemoFileTest, RewritesInPlaceUpTo510BytesElseAppends) {
  EXPECT_EQ(write(0, "ABC"), 1u);
  EXPECT_EQ(write(1, std::string(400, 'b')), 1u);
  EXPECT_EQ(nextFree(), 2u);
  EXPECT_EQ(read(1), std::string(400, 'b'));
  EXPECT_EQ(write(1, std::string(511, 'c')), 2u);  // too long for one block with its mark
  EXPECT_EQ(nextFree(), 4u);
  EXPECT_EQ(write(2, std::string(600, 'd')), 4u);
  EXPECT_EQ(nextFree(), 6u);
  EXPECT_EQ(read(2), std::string(511, 'c'));
  EXPECT_EQ(read(4), std::string(600, 'd'));
  uint64_t length = 0;
  ASSERT_TRUE(memo.textLength(4, length));
  EXPECT_EQ(length, 600u);
}

TEST_F(MemoFileTest, AppendAfterTheSkippedBlockOfAnExactFit) {
  write(0, std::string(511, 'a'));  // next-free 3, file ends at block 2
  EXPECT_EQ(write(0, "Z"), 3u);
  EXPECT_EQ(nextFree(), 4u);
  EXPECT_EQ(read(3), "Z");
}

TEST_F(MemoFileTest, DamagedFilesReadSoundlyAndNeverWriteOverTheHeader) {
  write(0, "first");
  // A reference past the end reads as empty text.
  EXPECT_EQ(read(1000), "");
  EXPECT_EQ(read(9999999999ull), "");
  // A text without 0x1A ends at the end of the file.
  file.bytes.resize(1024);
  std::fill(file.bytes.begin() + 512, file.bytes.end(), 'q');
  file.bytes.resize(1024 + 100, 'r');
  EXPECT_EQ(read(1), std::string(512, 'q') + std::string(100, 'r'));
  // Next-free far beyond the end: the text goes just past the end of the file.
  file.bytes[0] = 0xFF, file.bytes[1] = 0xFF, file.bytes[2] = 0xFF, file.bytes[3] = 0xFF;
  EXPECT_EQ(write(0, "huge"), 3u);
  EXPECT_EQ(read(3), "huge");
  EXPECT_EQ(nextFree(), 4u);
  // Next-free 0 must not put text into the header block.
  file.bytes[0] = file.bytes[1] = file.bytes[2] = file.bytes[3] = 0;
  EXPECT_EQ(write(0, "zero"), 4u);
  // A stale in-place reference past the end appends instead of writing far away.
  EXPECT_EQ(write(5000, "stale"), 5u);
  EXPECT_LT(file.bytes.size(), 4096u);
  // A file shorter than its header still takes a text after block 0.
  file.bytes.resize(2);
  uint32_t n = 0;
  EXPECT_FALSE(memo.readNextFree(n));
  EXPECT_EQ(write(0, "tiny"), 1u);
  EXPECT_EQ(read(1), "tiny");
}

TEST_F(MemoFileTest, ListingWalksTheTextsUpToNextFree) {
  write(0, "ABC");
  write(0, std::string(511, 'x'));
  write(0, std::string(600, 'y'));
  Listing listing;
  ASSERT_TRUE(listTexts(file, listing));
  EXPECT_EQ(listing.nextFree, 6u);
  ASSERT_EQ(listing.texts.size(), 3u);
  EXPECT_EQ(listing.texts[0].block, 1u);
  EXPECT_EQ(listing.texts[0].length, 3u);
  EXPECT_EQ(listing.texts[1].block, 2u);
  EXPECT_EQ(listing.texts[1].length, 511u);
  EXPECT_EQ(listing.texts[2].block, 4u);
  EXPECT_EQ(listing.texts[2].length, 600u);

  file.bytes[0] = 0xFF;  // damaged next-free: the walk stops at the end of the file
  ASSERT_TRUE(listTexts(file, listing));
  EXPECT_EQ(listing.texts.size(), 3u);
}

TEST(MemoLock, CoversOffsetOneForTwoGigabytesAndWaits) {
  struct LockRecorder : MemoryFile {
    std::vector<LockRequest> requests;
    int refusals = 1;
    bool lock(const LockRequest& r) override {
      requests.push_back(r);
      if (!r.unlock && refusals > 0) {
        --refusals;
        setLastError(oserr::LockViolation);
        return false;
      }
      return true;
    }
  } file;
  MemoFile memo(file);
  ASSERT_TRUE(memo.lockShared());  // refused once, asked again
  ASSERT_TRUE(memo.unlock());
  ASSERT_TRUE(memo.lockExclusive());
  ASSERT_EQ(file.requests.size(), 4u);
  for (const LockRequest& r : file.requests) {
    EXPECT_EQ(r.offset, 1u);
    EXPECT_EQ(r.length, 0x7FFFFFFFu);
  }
  EXPECT_TRUE(file.requests[0].shared && file.requests[0].wait && !file.requests[0].unlock);
  EXPECT_TRUE(file.requests[2].unlock);
  EXPECT_TRUE(!file.requests[3].shared && file.requests[3].wait);
}

}  // namespace
}  // namespace talvor::dbt
