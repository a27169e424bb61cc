// The DBT memo file: 512-byte blocks, block 0 the header (the next-free block
// number as a little-endian u32, then zeros), memo texts from block 1 on, each
// followed by 0x1A bytes up to the end of the last block it touches. The text
// ends at its first 0x1A; a text that meets the end of the file first ends there.
//
// MemoFile works over an open File it does not own. Operations report success as
// bool; on failure the File's lastError() holds the OS error (0 for a damaged file
// the operation refused). Locking is the caller's business (lockShared,
// lockExclusive, unlock), so a read or write is one locked step of the caller.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "rdd/file_system.h"

namespace talvor::dbt {

inline constexpr uint32_t kBlockSize = 512;
inline constexpr uint8_t kTextEnd = 0x1A;
// The memo lock covers this byte range of the memo file.
inline constexpr uint64_t kLockOffset = 1;
inline constexpr uint64_t kLockLength = 0x7FFFFFFF;

// Memo references in a record. A 10-byte reference holds the block number as
// right-aligned decimal digits (ten spaces for block 0); reading takes the digits
// among the first 10 bytes and passes over every other byte. A 4-byte reference
// holds a little-endian u32. Other lengths read as block 0 and write nothing.
uint64_t decodeReference(const uint8_t* bytes, uint32_t fieldLength);
void encodeReference(uint64_t block, uint8_t* bytes, uint32_t fieldLength);

// One referenced text, for listings.
struct TextEntry {
  uint64_t block = 0;
  uint64_t length = 0;
};

class MemoFile {
 public:
  explicit MemoFile(File& file) : file_(file) {}

  // Writes the 512-byte header with next-free 1 and cuts the file after it.
  bool initialise();
  bool readNextFree(uint32_t& next);

  // The text length at block b (0 for block 0 and for blocks past the end).
  bool textLength(uint64_t block, uint64_t& length);
  bool readText(uint64_t block, std::string& text);

  // Stores a non-empty text and reports the block that now holds it: in place
  // when oldBlock != 0 and the text has at most 510 bytes, else appended at the
  // next-free block, which then moves past the text and its 0x1A padding (a
  // 511-byte text at block 1 makes it 3). A damaged header or reference never
  // makes the write land on the header or far beyond the end of the file: an
  // in-place block past the end appends instead, and a next-free number of 0 or
  // past the end is replaced by the first block after the file's end.
  bool writeText(uint64_t oldBlock, std::string_view text, uint64_t& block);

  // The memo lock: waits until granted.
  bool lockShared() { return lock(false, true); }
  bool lockExclusive() { return lock(false, false); }
  bool unlock() { return lock(true, false); }

 private:
  // Scans the text at a block; collects its bytes when `text` is not null.
  bool scan(uint64_t block, uint64_t& length, std::string* text);
  bool lock(bool release, bool shared);
  // The block where an appended text goes.
  bool appendBlock(uint64_t& block);

  File& file_;
};

// A listing for the inspector: the next-free number and the texts found by
// walking the blocks from block 1, each text followed by its padding, up to the
// next-free block or the end of the file (texts replaced by later appends are
// listed too: nothing in the memo file tells them apart).
struct Listing {
  uint32_t nextFree = 0;
  uint64_t fileSize = 0;
  std::vector<TextEntry> texts;
};
bool listTexts(File& file, Listing& out);

}  // namespace talvor::dbt
