#include "rdd/dbfntx/ntx_check.h"

#include <algorithm>
#include <array>

namespace talvor::ntx {

namespace {

constexpr int kMaxDepth = 256;
constexpr std::size_t kMaxMessages = 50;

class Checker {
 public:
  Checker(File& file, const KeyVisitor& visit) : file_(file), visit_(visit) {}

  NtxCheckReport run() {
    if (readHeader() && checkHeader()) {
      walkTree();
      checkRecords();
      walkFreeList();
      summarize();
    }
    if (omitted_ > 0) r_.damage.push_back("... and " + std::to_string(omitted_) + " more");
    r_.ok = r_.damage.empty();
    return std::move(r_);
  }

 private:
  struct Frame {
    uint32_t offset = 0;
    int depth = 0;
    int next = 0;            // item whose child or key comes next
    bool childDone = false;  // the child of item `next` has been walked
    std::array<uint8_t, kPageSize> data;
  };

  void damage(std::string text) {
    if (r_.damage.size() < kMaxMessages)
      r_.damage.push_back(std::move(text));
    else
      ++omitted_;
  }
  static std::string pageName(uint32_t offset) { return "page " + std::to_string(offset); }

  bool readHeader() {
    fileSize_ = file_.size();
    if (fileSize_ < 0) {
      damage("file size cannot be read");
      return false;
    }
    r_.filePages = static_cast<uint64_t>(fileSize_) / kPageSize;
    std::array<uint8_t, kPageSize> page{};
    int64_t got = file_.readAt(0, page.data(), page.size());
    if (got < static_cast<int64_t>(kHeaderFieldsSize)) {
      damage("header shorter than 552 bytes (" + std::to_string(std::max<int64_t>(got, 0)) + ")");
      return false;
    }
    decodeHeader(page.data(), static_cast<std::size_t>(got), r_.header);
    r_.headerRead = true;
    if (fileSize_ % kPageSize != 0)
      r_.findings.push_back("file size " + std::to_string(fileSize_) + " is not a multiple of 1024");
    return true;
  }

  bool checkHeader() {
    const NtxHeader& h = r_.header;
    if ((h.signature & ~(kSignatureCondition | kSignatureLockScheme2)) != kSignature)
      r_.findings.push_back("signature " + std::to_string(h.signature));
    if (h.version != 1) r_.findings.push_back("version " + std::to_string(h.version));
    if (h.keyExpression.empty()) damage("no key expression");
    if (h.keyWidth < 1 || h.keyWidth > kMaxKeyWidth) {
      damage("key width " + std::to_string(h.keyWidth) + " outside 1..256");
      return false;
    }
    if (h.itemSize != h.keyWidth + 8)
      damage("item size " + std::to_string(h.itemSize) + " is not key width + 8");
    if (h.maxKeys != maxKeysPerPage(h.keyWidth))
      damage("maximum keys per page " + std::to_string(h.maxKeys) + " (expected " +
             std::to_string(maxKeysPerPage(h.keyWidth)) + ")");
    if (h.halfPage != h.maxKeys / 2) damage("half page " + std::to_string(h.halfPage));
    if (!pageLayoutFits(h.keyWidth, h.maxKeys)) {
      damage("pages of " + std::to_string(h.maxKeys) + " keys do not fit in 1024 bytes");
      return false;
    }
    if (!validPage(h.rootPage)) {
      damage("root " + pageOffsetProblem(h.rootPage));
      return false;
    }
    visited_.assign(r_.filePages, 0);
    return true;
  }

  bool validPage(uint32_t offset) const {
    return offset >= kPageSize && offset % kPageSize == 0 &&
           uint64_t(offset) + kPageSize <= static_cast<uint64_t>(fileSize_);
  }
  std::string pageOffsetProblem(uint32_t offset) const {
    if (offset % kPageSize != 0) return "offset " + std::to_string(offset) + " is not a multiple of 1024";
    return "offset " + std::to_string(offset) + " lies outside the file";
  }

  PageView view(uint8_t* data) const { return PageView(data, r_.header.keyWidth, r_.header.maxKeys); }

  // Reads and checks a tree page; false when its subtree cannot be walked.
  bool enter(uint32_t offset, int depth, uint32_t parent) {
    if (!validPage(offset)) {
      damage("child of " + pageName(parent) + ": " + pageOffsetProblem(offset));
      return false;
    }
    uint8_t& mark = visited_[offset / kPageSize];
    if (mark) {
      damage(pageName(offset) + " is reached twice (cycle or shared child)");
      return false;
    }
    if (depth > kMaxDepth) {
      damage("tree deeper than " + std::to_string(kMaxDepth) + " levels at " + pageName(offset));
      return false;
    }
    mark = 1;
    ++r_.treePages;
    stack_.emplace_back();
    Frame& f = stack_.back();
    f.offset = offset;
    f.depth = depth;
    if (file_.readAt(offset, f.data.data(), kPageSize) != static_cast<int64_t>(kPageSize)) {
      damage(pageName(offset) + " cannot be read in full");
      stack_.pop_back();
      return false;
    }
    PageView page = view(f.data.data());
    const int n = page.keyCount();
    if (n > page.maxKeys()) {
      damage(pageName(offset) + " holds " + std::to_string(n) + " keys, above the maximum " +
             std::to_string(page.maxKeys()));
      stack_.pop_back();
      return false;
    }
    if (!page.itemsInBounds()) {
      damage(pageName(offset) + " has item offsets outside the page");
      stack_.pop_back();
      return false;
    }
    const bool leaf = page.isLeaf();
    for (int i = 1; i <= n; ++i) {
      if ((page.child(i) == 0) != leaf) {
        damage(pageName(offset) + " mixes items with and without children");
        break;
      }
    }
    if (n == 0 && depth > 1) r_.findings.push_back(pageName(offset) + " below the root holds no key");
    if (leaf) {
      r_.minLeafDepth = r_.minLeafDepth == 0 ? depth : std::min(r_.minLeafDepth, depth);
      r_.maxLeafDepth = std::max(r_.maxLeafDepth, depth);
    }
    return true;
  }

  void walkTree() {
    const int w = r_.header.keyWidth;
    const bool descending = r_.header.descending != 0;
    std::vector<uint8_t> previous;
    if (!enter(r_.header.rootPage, 1, 0)) return;
    while (!stack_.empty()) {
      Frame& f = stack_.back();
      PageView page = view(f.data.data());
      if (f.next > page.keyCount()) {
        stack_.pop_back();
        continue;
      }
      if (!f.childDone) {
        f.childDone = true;
        const uint32_t child = page.child(f.next);
        if (child != 0) enter(child, f.depth + 1, f.offset);  // may move `f`
        continue;
      }
      if (f.next < page.keyCount()) {
        const uint8_t* key = page.key(f.next);
        const uint32_t record = page.record(f.next);
        if (!previous.empty()) {
          int c = compareKeys(previous.data(), key, w);
          if (descending ? c < 0 : c > 0)
            damage("key " + std::to_string(f.next) + " of " + pageName(f.offset) + " is out of order");
        }
        previous.assign(key, key + w);
        if (record == 0) damage("key " + std::to_string(f.next) + " of " + pageName(f.offset) + " has record 0");
        records_.push_back(record);
        ++r_.keyCount;
        if (visit_) visit_(record, key, w);
      }
      ++f.next;
      f.childDone = false;
    }
  }

  void checkRecords() {
    std::sort(records_.begin(), records_.end());
    for (std::size_t i = 1; i < records_.size(); ++i)
      if (records_[i] == records_[i - 1] && (i + 1 == records_.size() || records_[i + 1] != records_[i]))
        damage("record " + std::to_string(records_[i]) + " has more than one key");
  }

  void walkFreeList() {
    uint32_t offset = r_.header.freeListHead;
    std::array<uint8_t, kPageSize> data;
    while (offset != 0) {
      if (!validPage(offset)) {
        damage("free list: " + pageOffsetProblem(offset));
        return;
      }
      uint8_t& mark = visited_[offset / kPageSize];
      if (mark == 1) {
        damage("free list: " + pageName(offset) + " is in the tree");
        return;
      }
      if (mark == 2) {
        damage("free list: cycle at " + pageName(offset));
        return;
      }
      mark = 2;
      ++r_.freePages;
      if (file_.readAt(offset, data.data(), kPageSize) != static_cast<int64_t>(kPageSize)) {
        damage("free list: " + pageName(offset) + " cannot be read in full");
        return;
      }
      PageView page = view(data.data());
      if (page.keyCount() != 0) damage("free list: " + pageName(offset) + " holds keys");
      if (!page.itemInBounds(0)) {
        damage("free list: " + pageName(offset) + " has its first item outside the page");
        return;
      }
      offset = page.child(0);
    }
  }

  void summarize() {
    if (r_.minLeafDepth != r_.maxLeafDepth)
      r_.findings.push_back("leaves at uneven depths " + std::to_string(r_.minLeafDepth) + " to " +
                            std::to_string(r_.maxLeafDepth));
    const uint64_t used = 1 + r_.treePages + r_.freePages;
    if (r_.filePages > used)
      r_.findings.push_back(std::to_string(r_.filePages - used) + " pages neither in the tree nor free");
  }

  File& file_;
  const KeyVisitor& visit_;
  NtxCheckReport r_;
  int64_t fileSize_ = 0;
  std::vector<uint8_t> visited_;  // by page number: 1 tree, 2 free list
  std::vector<Frame> stack_;
  std::vector<uint32_t> records_;
  std::size_t omitted_ = 0;
};

}  // namespace

NtxCheckReport checkNtx(File& file, const KeyVisitor& visit) { return Checker(file, visit).run(); }

void printCheckReport(const NtxCheckReport& r, std::ostream& out) {
  if (r.headerRead) {
    const NtxHeader& h = r.header;
    out << "signature " << h.signature << ", version " << h.version << "\n"
        << "key expression \"" << h.keyExpression << "\"\n";
    if (!h.condition.empty()) out << "condition \"" << h.condition << "\"\n";
    if (!h.orderName.empty()) out << "order name \"" << h.orderName << "\"\n";
    out << "key width " << h.keyWidth << ", decimals " << h.keyDecimals << ", item size " << h.itemSize
        << ", max keys " << h.maxKeys << ", half page " << h.halfPage << "\n"
        << "unique " << int(h.unique) << ", descending " << int(h.descending) << ", custom "
        << int(h.custom) << "\n"
        << "root " << h.rootPage << ", free list " << h.freeListHead << "\n";
  }
  out << "pages " << r.filePages << " (tree " << r.treePages << ", free " << r.freePages << ")\n"
      << "keys " << r.keyCount << "\n"
      << "leaf depth " << r.minLeafDepth;
  if (r.maxLeafDepth != r.minLeafDepth) out << " to " << r.maxLeafDepth;
  out << "\n";
  for (const std::string& f : r.findings) out << "note: " << f << "\n";
  for (const std::string& d : r.damage) out << "damage: " << d << "\n";
  out << (r.ok ? "OK" : "DAMAGED") << "\n";
}

}  // namespace talvor::ntx
