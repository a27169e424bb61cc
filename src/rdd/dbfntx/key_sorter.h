// Sorts the keys of an index build: fixed-width keys with their record numbers,
// ascending as unsigned bytes (descending when asked), equal keys in the order
// they were added; a unique sort keeps only the first of equal keys.
//
// Keys are held in memory up to a byte budget; beyond it, sorted runs are
// spilled to a scratch file in $TEMP (else $TMPDIR, else /tmp) and merged at the
// end, an earlier run winning ties, so the stream is the same as one in-memory
// sort would give. The scratch file is unlinked as soon as it is created.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace talvor::ntx {

class KeySorter {
 public:
  // `memoryBudget` 0 means rt().settings.indexSortBudget.
  KeySorter(int keyWidth, bool unique, bool descending = false, std::size_t memoryBudget = 0);
  ~KeySorter();
  KeySorter(const KeySorter&) = delete;
  KeySorter& operator=(const KeySorter&) = delete;

  // Adds one key of exactly keyWidth bytes. Ends the program with internal error
  // 9000 "Not enough room for index buffer" when not even one chunk fits in
  // memory, or "Cannot create temp file" when no scratch file can be made.
  void add(uint32_t record, const uint8_t* key);

  // Ends the input and prepares the sorted stream. False when a scratch file
  // could not be written or read back (the build must fail).
  bool finish();

  // The number of keys the stream delivers (after dropping unique duplicates);
  // valid after finish().
  uint64_t keyCount() const { return keyCount_; }

  // The next key of the sorted stream; false at its end or on a read failure
  // (then failed() is true). `key` stays valid until the next call.
  bool next(uint32_t& record, const uint8_t*& key);

  bool failed() const { return failed_; }
  int keyWidth() const { return width_; }
  // Runs written to the scratch file so far.
  std::size_t spilledRuns() const;

 private:
  struct SortItem;
  class Scratch;
  class Merger;

  void sortChunk();
  void spillChunk();
  int compare(const uint8_t* a, const uint8_t* b) const;

  int width_;
  bool unique_;
  bool descending_;
  std::size_t budget_;
  std::size_t bytesPerEntry_;

  // The chunk in memory: key bytes and record numbers by entry, and after
  // sortChunk() the entries in sorted order.
  std::vector<uint8_t> keys_;
  std::vector<uint32_t> records_;
  std::vector<uint32_t> order_;
  std::size_t memoryCursor_ = 0;

  std::unique_ptr<Scratch> scratch_;
  std::unique_ptr<Merger> merger_;
  uint64_t keyCount_ = 0;
  bool finished_ = false;
  bool failed_ = false;
};

}  // namespace talvor::ntx
