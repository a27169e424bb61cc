#include "rdd/dbfntx/key_sorter.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "rdd/dbfntx/ntx_format.h"
#include "services/error.h"
#include "services/runtime.h"

namespace talvor::ntx {

namespace {

constexpr int kScratchAttempts = 998;
constexpr std::size_t kWriteBlock = std::size_t(1) << 20;
constexpr std::size_t kMaxReadBlock = std::size_t(64) << 10;
constexpr std::size_t kMinReadBlock = std::size_t(4) << 10;

std::string scratchFolder() {
  for (const char* name : {"TEMP", "TMPDIR"}) {
    const char* v = std::getenv(name);
    if (v && *v) return v;
  }
  return "/tmp";
}

// Big-endian first eight key bytes: comparing these as integers orders keys as
// their bytes do, and for keys of at most 8 bytes decides the comparison alone.
uint64_t keyPrefix(const uint8_t* key, int width) {
  uint64_t p = 0;
  for (int i = 0; i < 8; ++i) p = (p << 8) | (i < width ? key[i] : 0);
  return p;
}

}  // namespace

struct KeySorter::SortItem {
  uint64_t prefix;
  uint32_t index;
};

// The scratch file: sorted runs one after another, each entry a u32 record number
// followed by the key bytes.
class KeySorter::Scratch {
 public:
  struct Run {
    uint64_t offset;
    uint64_t count;
  };

  explicit Scratch(int width) : entrySize_(static_cast<std::size_t>(width) + 4) {
    const std::string folder = scratchFolder();
    static unsigned serial = 0;
    for (int attempt = 0; attempt < kScratchAttempts && fd_ < 0; ++attempt) {
      std::string name = folder + "/ntx" + std::to_string(::getpid()) + "_" +
                         std::to_string(serial++) + ".tmp";
      fd_ = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      if (fd_ >= 0) ::unlink(name.c_str());
    }
    if (fd_ < 0) fatalError(9000, "Cannot create temp file");
  }
  ~Scratch() {
    if (fd_ >= 0) ::close(fd_);
  }

  std::size_t entrySize() const { return entrySize_; }
  const std::vector<Run>& runs() const { return runs_; }

  bool writeRun(const std::vector<uint32_t>& order, const std::vector<uint32_t>& records,
                const std::vector<uint8_t>& keys) {
    Run run{end_, order.size()};
    const std::size_t w = entrySize_ - 4;
    buffer_.clear();
    buffer_.reserve(std::min(kWriteBlock + entrySize_, order.size() * entrySize_));
    for (uint32_t idx : order) {
      uint8_t rec[4];
      storeU32(rec, records[idx]);
      buffer_.insert(buffer_.end(), rec, rec + 4);
      const uint8_t* k = keys.data() + static_cast<std::size_t>(idx) * w;
      buffer_.insert(buffer_.end(), k, k + w);
      if (buffer_.size() >= kWriteBlock && !flush()) return false;
    }
    if (!flush()) return false;
    runs_.push_back(run);
    return true;
  }

  // Reads up to n bytes at offset; false unless all of them arrive.
  bool readAt(uint64_t offset, uint8_t* out, std::size_t n) const {
    while (n > 0) {
      ssize_t got = ::pread(fd_, out, n, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      out += got;
      offset += static_cast<uint64_t>(got);
      n -= static_cast<std::size_t>(got);
    }
    return true;
  }

 private:
  bool flush() {
    const uint8_t* p = buffer_.data();
    std::size_t n = buffer_.size();
    while (n > 0) {
      ssize_t put = ::pwrite(fd_, p, n, static_cast<off_t>(end_));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      p += put;
      n -= static_cast<std::size_t>(put);
      end_ += static_cast<uint64_t>(put);
    }
    buffer_.clear();
    return true;
  }

  int fd_ = -1;
  std::size_t entrySize_;
  uint64_t end_ = 0;
  std::vector<Run> runs_;
  std::vector<uint8_t> buffer_;
};

// K-way merge of the spilled runs and the sorted chunk still in memory. Sources
// are numbered in input order (the memory chunk last), and among equal keys the
// lower-numbered source wins, which keeps the order in which keys were added.
class KeySorter::Merger {
 public:
  explicit Merger(KeySorter& sorter) : sorter_(sorter) {
    const Scratch& scratch = *sorter.scratch_;
    const std::size_t sources = scratch.runs().size() + 1;
    std::size_t block = sorter.budget_ / sources;
    block = std::clamp(block, kMinReadBlock, kMaxReadBlock);
    entriesPerBlock_ = std::max<std::size_t>(1, block / scratch.entrySize());
    readers_.resize(scratch.runs().size());
    for (Reader& r : readers_) r.buffer.resize(entriesPerBlock_ * scratch.entrySize());
  }

  bool ok() const { return ok_; }

  // Starts (or restarts) the merge from the first key of every source.
  void rewind() {
    const auto& runs = sorter_.scratch_->runs();
    for (std::size_t i = 0; i < readers_.size(); ++i) {
      readers_[i].nextOffset = runs[i].offset;
      readers_[i].remaining = runs[i].count;
      readers_[i].available = 0;
      readers_[i].position = 0;
    }
    sorter_.memoryCursor_ = 0;
    heap_.clear();
    for (std::size_t s = 0; s <= readers_.size(); ++s)
      if (advance(s)) heap_.push_back(s);
    std::make_heap(heap_.begin(), heap_.end(), Later{this});
    lastKey_.clear();
  }

  // The next key; among keys equal to the one before, unique sorts skip.
  bool next(uint32_t& record, const uint8_t*& key) {
    while (!heap_.empty()) {
      std::pop_heap(heap_.begin(), heap_.end(), Later{this});
      const std::size_t s = heap_.back();
      current_.assign(currentKey_(s), currentKey_(s) + sorter_.width_);
      const uint32_t rec = currentRecord_(s);
      if (advance(s))
        std::push_heap(heap_.begin(), heap_.end(), Later{this});
      else
        heap_.pop_back();
      if (!ok_) return false;
      if (sorter_.unique_ && !lastKey_.empty() &&
          std::memcmp(lastKey_.data(), current_.data(), current_.size()) == 0)
        continue;
      if (sorter_.unique_) lastKey_ = current_;
      record = rec;
      key = current_.data();
      return true;
    }
    return false;
  }

 private:
  struct Reader {
    std::vector<uint8_t> buffer;
    uint64_t nextOffset = 0;
    uint64_t remaining = 0;  // entries not yet read into the buffer
    std::size_t available = 0;
    std::size_t position = 0;  // entry in the buffer that is current
  };

  struct Later {
    Merger* m;
    bool operator()(std::size_t a, std::size_t b) const {
      int c = m->sorter_.compare(m->currentKey_(a), m->currentKey_(b));
      return c != 0 ? c > 0 : a > b;
    }
  };

  bool isMemory(std::size_t s) const { return s == readers_.size(); }

  const uint8_t* currentKey_(std::size_t s) const {
    if (isMemory(s)) {
      uint32_t idx = sorter_.order_[sorter_.memoryCursor_ - 1];
      return sorter_.keys_.data() + static_cast<std::size_t>(idx) * sorter_.width_;
    }
    const Reader& r = readers_[s];
    return r.buffer.data() + r.position * sorter_.scratch_->entrySize() + 4;
  }
  uint32_t currentRecord_(std::size_t s) const {
    if (isMemory(s)) return sorter_.records_[sorter_.order_[sorter_.memoryCursor_ - 1]];
    const Reader& r = readers_[s];
    return loadU32(r.buffer.data() + r.position * sorter_.scratch_->entrySize());
  }

  // Moves source s to its next entry; false when it has none.
  bool advance(std::size_t s) {
    if (isMemory(s)) {
      if (sorter_.memoryCursor_ >= sorter_.order_.size()) return false;
      ++sorter_.memoryCursor_;
      return true;
    }
    Reader& r = readers_[s];
    if (r.available > 0 && r.position + 1 < r.available) {
      ++r.position;
      return true;
    }
    if (r.remaining == 0) return false;
    const std::size_t entry = sorter_.scratch_->entrySize();
    const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(r.remaining, entriesPerBlock_));
    if (!sorter_.scratch_->readAt(r.nextOffset, r.buffer.data(), n * entry)) {
      ok_ = false;
      return false;
    }
    r.nextOffset += n * entry;
    r.remaining -= n;
    r.available = n;
    r.position = 0;
    return true;
  }

  KeySorter& sorter_;
  std::size_t entriesPerBlock_ = 1;
  std::vector<Reader> readers_;
  std::vector<std::size_t> heap_;
  std::vector<uint8_t> current_;
  std::vector<uint8_t> lastKey_;
  bool ok_ = true;
};

KeySorter::KeySorter(int keyWidth, bool unique, bool descending, std::size_t memoryBudget)
    : width_(keyWidth),
      unique_(unique),
      descending_(descending),
      budget_(memoryBudget ? memoryBudget : rt().settings.indexSortBudget),
      bytesPerEntry_(static_cast<std::size_t>(keyWidth) + sizeof(uint32_t) * 2 + sizeof(SortItem)) {}

KeySorter::~KeySorter() = default;

std::size_t KeySorter::spilledRuns() const { return scratch_ ? scratch_->runs().size() : 0; }

int KeySorter::compare(const uint8_t* a, const uint8_t* b) const {
  int c = std::memcmp(a, b, static_cast<std::size_t>(width_));
  return descending_ ? -c : c;
}

void KeySorter::add(uint32_t record, const uint8_t* key) {
  if (failed_ || finished_) return;
  if (!records_.empty() && (records_.size() + 1) * bytesPerEntry_ > budget_) spillChunk();
  try {
    keys_.insert(keys_.end(), key, key + width_);
    records_.push_back(record);
  } catch (const std::bad_alloc&) {
    keys_.resize(records_.size() * static_cast<std::size_t>(width_));
    if (records_.empty()) fatalError(9000, "Not enough room for index buffer");
    spillChunk();
    add(record, key);
  }
}

void KeySorter::sortChunk() {
  const std::size_t n = records_.size();
  std::vector<SortItem> items(n);
  for (std::size_t i = 0; i < n; ++i)
    items[i] = {keyPrefix(keys_.data() + i * width_, width_), static_cast<uint32_t>(i)};
  const bool longKeys = width_ > 8;
  auto before = [&](const SortItem& a, const SortItem& b) {
    if (a.prefix != b.prefix) return descending_ ? a.prefix > b.prefix : a.prefix < b.prefix;
    if (longKeys) {
      int c = std::memcmp(keys_.data() + std::size_t(a.index) * width_ + 8,
                          keys_.data() + std::size_t(b.index) * width_ + 8, width_ - 8);
      if (c != 0) return descending_ ? c > 0 : c < 0;
    }
    return a.index < b.index;
  };
  std::sort(items.begin(), items.end(), before);
  order_.clear();
  order_.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    if (unique_ && !order_.empty() &&
        compare(keys_.data() + std::size_t(order_.back()) * width_,
                keys_.data() + std::size_t(items[i].index) * width_) == 0)
      continue;
    order_.push_back(items[i].index);
  }
}

void KeySorter::spillChunk() {
  if (!scratch_) scratch_ = std::make_unique<Scratch>(width_);
  sortChunk();
  if (!scratch_->writeRun(order_, records_, keys_)) failed_ = true;
  keys_.clear();
  records_.clear();
  order_.clear();
}

bool KeySorter::finish() {
  if (finished_) return !failed_;
  finished_ = true;
  if (failed_) return false;
  sortChunk();
  memoryCursor_ = 0;
  if (!scratch_) {
    keyCount_ = order_.size();
    return true;
  }
  merger_ = std::make_unique<Merger>(*this);
  merger_->rewind();
  if (unique_) {
    // Duplicates across runs only show in the merge: count them with a first pass.
    uint32_t rec;
    const uint8_t* key;
    uint64_t n = 0;
    while (merger_->next(rec, key)) ++n;
    keyCount_ = n;
    merger_->rewind();
  } else {
    keyCount_ = records_.size();
    for (const Scratch::Run& run : scratch_->runs()) keyCount_ += run.count;
  }
  failed_ = !merger_->ok();
  return !failed_;
}

bool KeySorter::next(uint32_t& record, const uint8_t*& key) {
  if (!finished_ || failed_) return false;
  if (merger_) {
    bool got = merger_->next(record, key);
    if (!merger_->ok()) failed_ = true;
    return got && !failed_;
  }
  if (memoryCursor_ >= order_.size()) return false;
  const uint32_t idx = order_[memoryCursor_++];
  record = records_[idx];
  key = keys_.data() + std::size_t(idx) * width_;
  return true;
}

}  // namespace talvor::ntx
