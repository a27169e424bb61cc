#include "rdd/dbfntx/ntx_build.h"

#include <array>
#include <cmath>

namespace talvor::ntx {

LevelPlan planLevels(uint64_t keyCount, int maxKeys) {
  const double n = static_cast<double>(keyCount);
  const double M = maxKeys - 1;
  LevelPlan plan;
  double S = 0, P = 1;
  int L = 0;
  do {
    S += M * P;
    P *= M + 1;
    ++L;
  } while (n > S);
  plan.levels = L;
  plan.keysPerPage.assign(L + 1, 0);

  // r'[k]: the keys per page fixed so far, M for the levels not yet fixed.
  std::vector<double> r(L + 1, M);
  for (int j = L; j >= 1; --j) {
    r[j] = keyCount == 0 ? 0 : std::ceil(M / (S / n));
    plan.keysPerPage[j] = static_cast<int>(r[j]);
    S = 0;
    for (int k = L; k >= 1; --k) {
      double product = 1;
      for (int i = k + 1; i <= L; ++i) product *= r[i] + 1;
      S += r[k] * product;
    }
  }
  double C = 1;
  for (int k = 2; k <= L; ++k) C *= r[k] + 1;
  const double D = S - n;
  plan.leaves = C;
  plan.fullLeaves = D >= C ? C : C - D;
  return plan;
}

namespace {

// Collects written pages and writes them in large sequential blocks; each page
// takes the next offset from 1024 on.
class PageSink {
 public:
  explicit PageSink(File& file) : file_(file) {}

  uint32_t write(const uint8_t* page) {
    if (pending_.size() >= kBlockPages * kPageSize) flush();
    pending_.insert(pending_.end(), page, page + kPageSize);
    uint32_t offset = next_;
    next_ += kPageSize;
    return offset;
  }

  bool flush() {
    if (!pending_.empty()) {
      int64_t put = file_.writeAt(blockStart_, pending_.data(), pending_.size());
      if (put != static_cast<int64_t>(pending_.size())) ok_ = false;
      blockStart_ += pending_.size();
      pending_.clear();
    }
    return ok_;
  }

 private:
  static constexpr std::size_t kBlockPages = 256;
  File& file_;
  std::vector<uint8_t> pending_;
  uint64_t blockStart_ = kPageSize;
  uint32_t next_ = kPageSize;
  bool ok_ = true;
};

// The bottom-up page writer: one page in memory per level.
class TreeWriter {
 public:
  TreeWriter(File& file, int keyWidth, int maxKeys, KeySorter& keys)
      : sink_(file), keys_(keys), width_(keyWidth), maxKeys_(maxKeys) {}

  uint32_t run() {
    const uint64_t n = keys_.keyCount();
    if (n == 0) {
      std::array<uint8_t, kPageSize> page;
      view(page.data()).format();
      uint32_t root = sink_.write(page.data());
      return sink_.flush() ? root : 0;
    }
    remaining_ = n;
    const LevelPlan plan = planLevels(n, maxKeys_);
    levels_.resize(plan.levels);  // [1 .. L-1] used
    for (int d = 1; d < plan.levels; ++d) levels_[d].quota = plan.keysPerPage[d + 1];
    int leafQuota = plan.keysPerPage[1];
    double fullLeaves = plan.fullLeaves;

    std::array<uint8_t, kPageSize> leaf;
    while (true) {
      PageView page = view(leaf.data());
      page.format();
      int count = 0;
      while (count < leafQuota && remaining_ > 0) appendKey(page, count++);
      if (count == leafQuota && remaining_ == 1) appendKey(page, count++);
      if (!ok_) return 0;
      if (count > 0) lastWritten_ = sink_.write(leaf.data());
      fullLeaves -= 1;
      // A leaf never gets fewer than one key: a quota of 0 would leave an empty
      // leaf out and hang the next separator over the previous page again.
      if (fullLeaves == 0 && leafQuota > 1) --leafQuota;
      if (remaining_ > 0) {
        Separator s;
        if (!take(s.record, s.key.data())) return 0;
        addSeparator(&s, 1);
        if (!ok_) return 0;
      } else {
        addSeparator(nullptr, 1);
        break;
      }
    }
    for (int d = 1; d < static_cast<int>(levels_.size()); ++d) {
      Level& level = levels_[d];
      PageView page = view(level.page.data());
      if (!level.started || page.keyCount() == 0) continue;
      page.setChild(page.keyCount(), lastWritten_);
      lastWritten_ = sink_.write(level.page.data());
      root_ = lastWritten_;
    }
    if (root_ == 0) root_ = kPageSize;
    return sink_.flush() ? root_ : 0;
  }

 private:
  struct Separator {
    uint32_t record = 0;
    std::array<uint8_t, kMaxKeyWidth> key{};
  };
  struct Level {
    std::array<uint8_t, kPageSize> page{};
    bool started = false;
    int quota = 0;
  };

  PageView view(uint8_t* data) const { return PageView(data, width_, maxKeys_); }

  bool take(uint32_t& record, uint8_t* key) {
    const uint8_t* bytes = nullptr;
    if (!keys_.next(record, bytes)) {
      ok_ = false;
      return false;
    }
    std::memcpy(key, bytes, static_cast<std::size_t>(width_));
    --remaining_;
    return true;
  }

  void appendKey(PageView& page, int position) {
    uint32_t record = 0;
    std::array<uint8_t, kMaxKeyWidth> key;
    if (!take(record, key.data())) return;
    page.setItem(position, record, key.data());
    page.setKeyCount(position + 1);
  }

  // Adds separator s (null: none, which closes the tree) at level d.
  void addSeparator(const Separator* s, int d) {
    for (; d < static_cast<int>(levels_.size()); ++d) {
      Level& level = levels_[d];
      PageView page = view(level.page.data());
      if (!level.started) {
        if (!s) return;
        page.format();
        level.started = true;
      }
      const int count = page.keyCount();
      page.setChild(count, lastWritten_);
      if (count < level.quota && s) {
        page.setItem(count, s->record, s->key.data());
        page.setKeyCount(count + 1);
        return;
      }
      if (s || count > 0) {
        lastWritten_ = sink_.write(level.page.data());
        page.format();
      }
      if (!s) root_ = lastWritten_;
    }
    // The plan leaves room for every key; a separator above the top level would
    // be lost, so the build fails instead of writing an incomplete tree.
    if (s) ok_ = false;
  }

  PageSink sink_;
  KeySorter& keys_;
  int width_;
  int maxKeys_;
  uint64_t remaining_ = 0;
  std::vector<Level> levels_;
  uint32_t lastWritten_ = 0;
  uint32_t root_ = 0;
  bool ok_ = true;
};

}  // namespace

uint32_t writeTreePages(File& file, int keyWidth, int maxKeys, KeySorter& keys) {
  if (!pageLayoutFits(keyWidth, maxKeys) || keys.keyWidth() != keyWidth) return 0;
  return TreeWriter(file, keyWidth, maxKeys, keys).run();
}

bool writeFullHeader(File& file, const NtxHeader& header) {
  std::array<uint8_t, kPageSize> page;
  encodeHeader(header, page.data());
  return file.writeAt(0, page.data(), page.size()) == static_cast<int64_t>(page.size());
}

bool writeIndexTree(File& file, NtxHeader& header, KeySorter& keys) {
  if (!keys.finish()) return false;
  const uint32_t root = writeTreePages(file, header.keyWidth, header.maxKeys, keys);
  if (root == 0) return false;
  header.rootPage = root;
  header.freeListHead = 0;
  return writeFullHeader(file, header);
}

}  // namespace talvor::ntx
