// ZAP and PACK of the DBF layer.
//
// PACK compacts the data file in large blocks: a block of records is read, its
// undeleted records are moved together and written at the next kept position.
// A kept record never moves to a later position, so the bytes written only
// cover records already read. The result is the same file as moving record k
// to position j one record at a time.
#include <algorithm>
#include <vector>

#include "rdd/dbf_area.h"
#include "rdd/table_ops.h"

namespace talvor {

namespace {

constexpr std::size_t kPackBlockBytes = 1 << 20;

}  // namespace

bool DbfArea::zapTable() {
  if (readOnly_) {
    raiseError(1025);
    return false;
  }
  if (shared_) {
    raiseError(1023);
    return false;
  }
  if (!writeBack()) return false;
  headerDirty_ = true;
  recordCount_ = 0;
  store_.dropReadAhead();
  goToRecord(1);  // beyond the last record: the phantom record
  if (hasMemo_ && !createMemoFile()) return false;
  return true;
}

bool DbfArea::packTable() {
  if (readOnly_) {
    raiseError(1025);
    return false;
  }
  if (shared_) {
    raiseError(1023);
    return false;
  }
  if (!writeBack()) return false;
  if (!store_.flush()) {
    raiseError(1011, dataName_, store_.lastError());
    return false;
  }
  store_.dropReadAhead();

  const PackProgress* progress = packProgressOf(this);
  const bool withBlock = progress != nullptr && progress->block.isBlock();
  const uint32_t every = withBlock ? std::max<uint32_t>(progress->every, 1) : 1;
  const uint64_t headerLength = header_.headerLength;
  const uint32_t oldCount = recordCount_;
  const std::size_t perBlock =
      std::max<std::size_t>(1, kPackBlockBytes / std::max<uint32_t>(recordLength_, 1));
  std::vector<uint8_t> block(perBlock * recordLength_);

  uint32_t kept = 0;     // j: records kept so far
  uint32_t visited = 0;  // since the last progress call
  for (uint32_t first = 1; first <= oldCount;) {
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(perBlock, oldCount - first + 1));
    const uint64_t bytes = uint64_t(n) * recordLength_;
    const uint64_t at = headerLength + uint64_t(first - 1) * recordLength_;
    if (data_->readAt(at, block.data(), bytes) != static_cast<int64_t>(bytes)) {
      raiseError(1010, dataName_);
      return false;
    }
    const uint32_t keptBefore = kept;
    uint8_t* out = block.data();
    for (uint32_t i = 0; i < n; ++i) {
      const uint8_t* rec = block.data() + uint64_t(i) * recordLength_;
      if (withBlock && ++visited >= every) {
        progress->block.call();
        visited = 0;
      }
      if (rec[0] == '*') continue;
      if (out != rec) std::copy(rec, rec + recordLength_, out);
      out += recordLength_;
      ++kept;
    }
    // A block whose records all keep their place needs no write.
    const uint32_t writeCount = kept - keptBefore;
    if (writeCount > 0 && (keptBefore + 1 != first || writeCount != n)) {
      const uint64_t outBytes = uint64_t(writeCount) * recordLength_;
      const uint64_t to = headerLength + uint64_t(keptBefore) * recordLength_;
      if (data_->writeAt(to, block.data(), outBytes) != static_cast<int64_t>(outBytes)) {
        raiseError(1011, dataName_);
        return false;
      }
      dataWritten_ = true;
    }
    first += n;
  }
  if (withBlock && visited > 0) progress->block.call();

  if (kept != oldCount) {
    recordCount_ = kept;
    headerDirty_ = true;
  }
  bufferValid_ = false;
  goToRecord(1);
  return true;
}

}  // namespace talvor
