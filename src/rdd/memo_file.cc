#include "rdd/memo_file.h"

#include <algorithm>
#include <cstring>

namespace talvor::dbt {

namespace {

constexpr std::size_t kScanPiece = 8 * kBlockSize;
constexpr uint64_t kMaxBlock = 0xFFFFFFFFull;

void putU32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

uint32_t getU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The block after a text of `length` bytes stored at `block`: the text, at least
// one 0x1A, rounded up to a whole block, and a further block when text plus one
// 0x1A already fill their last block exactly.
uint64_t blockAfter(uint64_t block, uint64_t length) { return (block * kBlockSize + length + 1) / kBlockSize + 1; }

// The first block wholly past the end of a file of `size` bytes.
uint64_t endBlock(uint64_t size) { return (size + kBlockSize - 1) / kBlockSize; }

// Writes all bytes or fails; a short count reports a full disk.
bool writeAll(File& file, uint64_t offset, const void* bytes, std::size_t n) {
  const int64_t done = file.writeAt(offset, bytes, n);
  if (done == static_cast<int64_t>(n)) return true;
  if (done >= 0 || file.lastError() == 0) file.setLastError(oserr::DiskFull);
  return false;
}

}  // namespace

uint64_t decodeReference(const uint8_t* bytes, uint32_t fieldLength) {
  if (fieldLength == 4) return getU32(bytes);
  if (fieldLength < 10) return 0;
  uint64_t block = 0;
  for (int i = 0; i < 10; ++i)
    if (bytes[i] >= '0' && bytes[i] <= '9') block = block * 10 + (bytes[i] - '0');
  return block;
}

void encodeReference(uint64_t block, uint8_t* bytes, uint32_t fieldLength) {
  if (fieldLength == 4) {
    putU32(bytes, static_cast<uint32_t>(block));
    return;
  }
  if (fieldLength < 10) return;
  std::memset(bytes, ' ', 10);
  for (int i = 9; i >= 0 && block != 0; --i, block /= 10) bytes[i] = static_cast<uint8_t>('0' + block % 10);
}

bool MemoFile::initialise() {
  uint8_t header[kBlockSize] = {};
  putU32(header, 1);
  if (!writeAll(file_, 0, header, sizeof header)) return false;
  return file_.truncate(kBlockSize);
}

bool MemoFile::readNextFree(uint32_t& next) {
  uint8_t bytes[4];
  const int64_t got = file_.readAt(0, bytes, sizeof bytes);
  if (got < 0) return false;
  if (got != 4) {
    file_.setLastError(0);
    return false;
  }
  next = getU32(bytes);
  return true;
}

bool MemoFile::scan(uint64_t block, uint64_t& length, std::string* text) {
  length = 0;
  if (text) text->clear();
  if (block == 0) return true;
  uint8_t piece[kScanPiece];
  uint64_t offset = block * kBlockSize;
  for (;;) {
    const int64_t got = file_.readAt(offset, piece, sizeof piece);
    if (got < 0) return false;
    const uint8_t* end = piece + got;
    const uint8_t* stop = std::find(static_cast<const uint8_t*>(piece), end, kTextEnd);
    const std::size_t count = static_cast<std::size_t>(stop - piece);
    length += count;
    if (text) text->append(reinterpret_cast<const char*>(piece), count);
    if (stop != end || got < static_cast<int64_t>(sizeof piece)) return true;
    offset += sizeof piece;
  }
}

bool MemoFile::textLength(uint64_t block, uint64_t& length) { return scan(block, length, nullptr); }

bool MemoFile::readText(uint64_t block, std::string& text) {
  uint64_t length = 0;
  return scan(block, length, &text);
}

bool MemoFile::appendBlock(uint64_t& block) {
  const int64_t size = file_.size();
  if (size < 0) return false;
  uint32_t next = 0;
  if (!readNextFree(next) && file_.lastError() != 0) return false;
  // A sound file never has next-free further than one block past its end (the
  // block skipped after a text that fills its last block exactly).
  const uint64_t end = endBlock(static_cast<uint64_t>(size));
  block = next != 0 && next <= end + 1 ? next : std::max<uint64_t>(end, 1);
  return true;
}

bool MemoFile::writeText(uint64_t oldBlock, std::string_view text, uint64_t& block) {
  const int64_t size = file_.size();
  if (size < 0) return false;
  const bool inPlace = oldBlock != 0 && text.size() <= kBlockSize - 2 &&
                       oldBlock * kBlockSize < static_cast<uint64_t>(size);
  if (inPlace) {
    block = oldBlock;
  } else if (!appendBlock(block)) {
    return false;
  }
  const uint64_t after = blockAfter(block, text.size());
  if (!inPlace && after > kMaxBlock) {
    file_.setLastError(oserr::DiskFull);
    return false;
  }
  std::string bytes(text);
  bytes.append(kBlockSize - text.size() % kBlockSize, static_cast<char>(kTextEnd));
  if (!writeAll(file_, block * kBlockSize, bytes.data(), bytes.size())) return false;
  if (inPlace) return true;
  uint8_t header[4];
  putU32(header, static_cast<uint32_t>(after));
  return writeAll(file_, 0, header, sizeof header);
}

bool MemoFile::lock(bool release, bool shared) {
  LockRequest r;
  r.offset = kLockOffset;
  r.length = kLockLength;
  r.unlock = release;
  r.shared = shared;
  r.wait = !release;
  while (!file_.lock(r))
    if (release || file_.lastError() != oserr::LockViolation) return false;
  return true;
}

bool listTexts(File& file, Listing& out) {
  out = Listing{};
  const int64_t size = file.size();
  if (size < 0) return false;
  out.fileSize = static_cast<uint64_t>(size);
  MemoFile memo(file);
  if (!memo.readNextFree(out.nextFree)) return file.lastError() == 0;
  const uint64_t end = endBlock(out.fileSize);
  const uint64_t limit = out.nextFree >= 1 && out.nextFree <= end + 1 ? out.nextFree : end;
  for (uint64_t block = 1; block < limit && block < end;) {
    TextEntry entry;
    entry.block = block;
    if (!memo.textLength(block, entry.length)) return false;
    out.texts.push_back(entry);
    block = blockAfter(block, entry.length);
  }
  return true;
}

}  // namespace talvor::dbt
