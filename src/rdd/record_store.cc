#include "rdd/record_store.h"

#include <algorithm>
#include <cstring>

namespace talvor {

namespace {
constexpr std::size_t kBlockBytes = std::size_t(1) << 18;
// A read that does not follow the previous one (a seek) fetches this much: enough
// for the neighbours that nearby seeks ask for next, little enough not to copy a
// whole block for one record.
constexpr std::size_t kSeekBytes = std::size_t(1) << 12;
}

void RecordStore::attach(File* file, uint64_t headerLength, uint32_t recordLength, bool buffered) {
  file_ = file;
  headerLength_ = headerLength;
  recordLength_ = recordLength;
  blockRecords_ = recordLength ? std::max<std::size_t>(1, kBlockBytes / recordLength) : 1;
  pendingFirst_ = pendingCount_ = aheadFirst_ = aheadCount_ = 0;
  lastRead_ = 0;
  buffered_ = buffered;
}

void RecordStore::detach() {
  file_ = nullptr;
  pendingCount_ = aheadCount_ = 0;
}

void RecordStore::setBuffered(bool buffered) { buffered_ = buffered; }

void RecordStore::dropReadAhead() { aheadCount_ = 0; }

bool RecordStore::readThrough(uint32_t n, uint8_t* out) {
  if (!buffered_) {
    const int64_t got = file_->readAt(offsetOf(n), out, recordLength_);
    lastError_ = file_->lastError();
    return got == static_cast<int64_t>(recordLength_);
  }
  const bool sequential = n == lastRead_ + 1;
  lastRead_ = n;
  if (aheadCount_ == 0 || n < aheadFirst_ || n >= aheadFirst_ + aheadCount_) {
    const std::size_t records = sequential ? blockRecords_ : std::max<std::size_t>(1, kSeekBytes / recordLength_);
    ahead_.resize(std::min(records, blockRecords_) * recordLength_);
    const int64_t got = file_->readAt(offsetOf(n), ahead_.data(), ahead_.size());
    if (got < 0) {
      lastError_ = file_->lastError();
      aheadCount_ = 0;
      return false;
    }
    aheadFirst_ = n;
    aheadCount_ = static_cast<uint32_t>(static_cast<uint64_t>(got) / recordLength_);
    if (aheadCount_ == 0) {
      lastError_ = file_->lastError();
      return false;
    }
    overlayPending();
  }
  std::memcpy(out, ahead_.data() + std::size_t(n - aheadFirst_) * recordLength_, recordLength_);
  return true;
}

// Records still waiting to be written are newer than what the file gave the
// read-ahead block: they replace the file's bytes there.
void RecordStore::overlayPending() {
  if (pendingCount_ == 0) return;
  const uint32_t first = std::max(pendingFirst_, aheadFirst_);
  const uint32_t end = std::min(pendingFirst_ + pendingCount_, aheadFirst_ + aheadCount_);
  if (first >= end) return;
  std::memcpy(ahead_.data() + std::size_t(first - aheadFirst_) * recordLength_,
              pending_.data() + std::size_t(first - pendingFirst_) * recordLength_,
              std::size_t(end - first) * recordLength_);
}

bool RecordStore::read(uint32_t n, uint8_t* out) {
  if (!file_ || n == 0) return false;
  if (pendingCount_ && n >= pendingFirst_ && n < pendingFirst_ + pendingCount_) {
    std::memcpy(out, pending_.data() + std::size_t(n - pendingFirst_) * recordLength_, recordLength_);
    return true;
  }
  return readThrough(n, out);
}

bool RecordStore::write(uint32_t n, const uint8_t* record) {
  if (!file_ || n == 0) return false;
  if (aheadCount_ && n >= aheadFirst_ && n < aheadFirst_ + aheadCount_)
    std::memcpy(ahead_.data() + std::size_t(n - aheadFirst_) * recordLength_, record, recordLength_);
  if (!buffered_) {
    const int64_t put = file_->writeAt(offsetOf(n), record, recordLength_);
    lastError_ = file_->lastError();
    return put == static_cast<int64_t>(recordLength_);
  }
  if (pendingCount_ && n >= pendingFirst_ && n < pendingFirst_ + pendingCount_) {
    std::memcpy(pending_.data() + std::size_t(n - pendingFirst_) * recordLength_, record, recordLength_);
    return true;
  }
  const bool extends = pendingCount_ && n == pendingFirst_ + pendingCount_ && pendingCount_ < blockRecords_;
  if (!extends) {
    if (!flush()) return false;
    pendingFirst_ = n;
  }
  pending_.resize(std::size_t(pendingCount_ + 1) * recordLength_);
  std::memcpy(pending_.data() + std::size_t(pendingCount_) * recordLength_, record, recordLength_);
  ++pendingCount_;
  return true;
}

bool RecordStore::flush() {
  if (!file_ || pendingCount_ == 0) return true;
  const std::size_t bytes = std::size_t(pendingCount_) * recordLength_;
  const int64_t put = file_->writeAt(offsetOf(pendingFirst_), pending_.data(), bytes);
  if (put != static_cast<int64_t>(bytes)) {
    lastError_ = file_->lastError();
    return false;
  }
  pendingCount_ = 0;
  return true;
}

}  // namespace talvor
