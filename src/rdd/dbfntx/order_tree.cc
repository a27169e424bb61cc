#include "rdd/dbfntx/order_tree.h"

#include <algorithm>
#include <cstring>

namespace talvor::ntx {

namespace {

// Deeper than any sound tree can be (2^32 keys at two keys per page need 32
// levels): a walk that goes further is following a damaged file in circles.
constexpr std::size_t kMaxDepth = 64;

// Loading offset 0 loads the root page.
constexpr uint32_t kRootPage = 0;

const uint8_t* bytesOf(std::string_view s) { return reinterpret_cast<const uint8_t*>(s.data()); }

std::string_view keyAt(const PageView& v, int i) {
  const uint8_t* k = v.key(i);
  return k ? std::string_view(reinterpret_cast<const char*>(k), static_cast<std::size_t>(v.keyWidth()))
           : std::string_view();
}

}  // namespace

// A page held for the time of a scope: loaded on construction, released (and so
// written when changed) on destruction.
class OrderTree::PageRef {
 public:
  PageRef(PageCache& cache, uint32_t offset) : cache_(cache), page_(cache.load(offset)) {}
  PageRef(PageCache& cache, PageCache::Page* page) : cache_(cache), page_(page) {}
  ~PageRef() { cache_.release(page_); }
  PageRef(const PageRef&) = delete;
  PageRef& operator=(const PageRef&) = delete;

  explicit operator bool() const { return page_ != nullptr; }
  PageCache::Page* get() const { return page_; }
  PageView view() const { return cache_.view(page_); }
  uint32_t offset() const { return page_->offset; }
  void changed() { cache_.markChanged(page_); }

 private:
  PageCache& cache_;
  PageCache::Page* page_;
};

OrderTree::OrderTree(File& file, const NtxHeader& header)
    : file_(file), cache_(file, header), descending_(header.descending != 0) {
  path_.reserve(32);
}

void OrderTree::forget() {
  path_.clear();
  record_ = 0;
  key_.clear();
}

bool OrderTree::setCurrent(PageCache::Page* page, int position) {
  PageView v = cache_.view(page);
  path_.back().position = position;
  record_ = v.record(position);
  key_.assign(keyAt(v, position));
  return true;
}

bool OrderTree::stillPositioned() {
  if (path_.empty()) return false;
  PageRef page(cache_, path_.back().page);
  if (!page) return false;
  const PageView v = page.view();
  const int at = path_.back().position;
  return at >= 0 && at < v.keyCount() && v.record(at) == record_ && keyAt(v, at) == key_;
}

// ---- navigation -------------------------------------------------------------

bool OrderTree::descendLeftmost(uint32_t offset) {
  for (;;) {
    PageRef page(cache_, offset);
    if (!page || path_.size() >= kMaxDepth) {
      forget();
      return false;
    }
    const PageView v = page.view();
    path_.push_back({page.offset(), 0});
    if (v.child(0) != 0) {
      offset = v.child(0);
      continue;
    }
    if (v.keyCount() > 0) return setCurrent(page.get(), 0);
    return climbForward();  // an empty leaf: the next key lies above it
  }
}

bool OrderTree::descendRightmost(uint32_t offset) {
  for (;;) {
    PageRef page(cache_, offset);
    if (!page || path_.size() >= kMaxDepth) {
      forget();
      return false;
    }
    const PageView v = page.view();
    const int n = v.keyCount();
    if (v.child(0) != 0) {
      path_.push_back({page.offset(), n});
      offset = v.child(n);
      continue;
    }
    path_.push_back({page.offset(), 0});
    if (n > 0) return setCurrent(page.get(), n - 1);
    return climbBackward();
  }
}

bool OrderTree::climbForward() {
  path_.pop_back();
  while (!path_.empty()) {
    PageRef page(cache_, path_.back().page);
    if (!page) break;
    if (path_.back().position < page.view().keyCount()) return setCurrent(page.get(), path_.back().position);
    path_.pop_back();
  }
  forget();
  return false;
}

bool OrderTree::climbBackward() {
  path_.pop_back();
  while (!path_.empty()) {
    PageRef page(cache_, path_.back().page);
    if (!page) break;
    const int at = path_.back().position;
    if (at > 0 && at - 1 < page.view().keyCount()) return setCurrent(page.get(), at - 1);
    path_.pop_back();
  }
  forget();
  return false;
}

bool OrderTree::first() {
  forget();
  return descendLeftmost(0);
}

bool OrderTree::last() {
  forget();
  return descendRightmost(0);
}

bool OrderTree::next() {
  if (path_.empty()) return false;
  uint32_t right = 0;
  {
    PageRef page(cache_, path_.back().page);
    if (!page) {
      forget();
      return false;
    }
    const PageView v = page.view();
    const int at = path_.back().position;
    right = v.child(at + 1);
    if (right == 0) {
      if (at + 1 < v.keyCount()) return setCurrent(page.get(), at + 1);
      return climbForward();
    }
    path_.back().position = at + 1;
  }
  return descendLeftmost(right);
}

bool OrderTree::previous() {
  if (path_.empty()) return false;
  uint32_t left = 0;
  {
    PageRef page(cache_, path_.back().page);
    if (!page) {
      forget();
      return false;
    }
    const PageView v = page.view();
    const int at = path_.back().position;
    left = v.child(at);
    if (left == 0) {
      if (at > 0) return setCurrent(page.get(), at - 1);
      return climbBackward();
    }
  }
  return descendRightmost(left);
}

// ---- searches -------------------------------------------------------------------

OrderTree::SeekResult OrderTree::seek(std::string_view sought, const RecordFilter& accept) {
  forget();
  const SeekResult result = searchPage(0, sought, accept, false, 0);
  if (result == SeekResult::Nothing) forget();
  return result;
}

bool OrderTree::locate(std::string_view keyBytes, uint32_t rec) {
  forget();
  if (searchPage(0, keyBytes, {}, true, rec) == SeekResult::Found) return true;
  forget();
  return false;
}

// One page of the search: the first position whose key is not smaller than the
// sought key, then candidates from there on, each after the subtree left of it
// (whose keys come first in key order), up to the rightmost subtree.
OrderTree::SeekResult OrderTree::searchPage(uint32_t offset, std::string_view sought, const RecordFilter& accept,
                                            bool locating, uint32_t rec) {
  if (path_.size() >= kMaxDepth) return SeekResult::Nothing;
  PageRef page(cache_, offset);
  if (!page) return SeekResult::Nothing;
  const PageView v = page.view();
  const int n = v.keyCount();
  const int width = v.keyWidth();
  // Sign of (sought - key i) in tree order: exact bytes when locating, the seek
  // comparison else; a descending order holds its keys the other way round.
  auto compare = [&](int i) {
    const std::string_view k = keyAt(v, i);
    if (!locating) return seekCompare(sought, k, false, descending_);
    const int c = std::memcmp(sought.data(), k.data(), std::min<std::size_t>(sought.size(), width));
    return descending_ ? -c : c;
  };
  int low = 0;
  int high = n;
  while (low < high) {
    const int mid = (low + high) / 2;
    if (compare(mid) > 0) low = mid + 1;
    else high = mid;
  }
  path_.push_back({page.offset(), low});
  const std::size_t depth = path_.size();
  for (int i = low; i <= n; ++i) {
    path_.back().position = i;
    if (const uint32_t child = v.child(i); child != 0) {
      const SeekResult r = searchPage(child, sought, accept, locating, rec);
      if (r != SeekResult::Nothing) return r;
      path_.resize(depth);
      path_.back().position = i;
    }
    if (i == n) break;
    const int c = compare(i);
    if (locating) {
      if (c < 0) break;  // past every equal key
      if (v.record(i) == rec) return setCurrent(page.get(), i), SeekResult::Found;
      continue;
    }
    if (!accept || accept(v.record(i))) {
      setCurrent(page.get(), i);
      return c == 0 ? SeekResult::Found : SeekResult::Greater;
    }
  }
  path_.pop_back();
  return SeekResult::Nothing;
}

// ---- insertion ------------------------------------------------------------------

std::vector<OrderTree::Item> OrderTree::itemsOf(PageCache::Page* page) {
  const PageView v = cache_.view(page);
  std::vector<Item> items;
  items.reserve(static_cast<std::size_t>(v.keyCount()) + 1);
  for (int i = 0; i < v.keyCount(); ++i) items.push_back({v.child(i), v.record(i), std::string(keyAt(v, i))});
  return items;
}

void OrderTree::writeItems(PageCache::Page* page, const std::vector<Item>& items, uint32_t rightmost) {
  PageView v = cache_.view(page);
  const int n = static_cast<int>(items.size());
  for (int i = 0; i < n; ++i) {
    v.setChild(i, items[static_cast<std::size_t>(i)].child);
    v.setItem(i, items[static_cast<std::size_t>(i)].record, bytesOf(items[static_cast<std::size_t>(i)].key));
  }
  v.setChild(n, rightmost);
  v.setKeyCount(n);
  cache_.markChanged(page);
}

bool OrderTree::insert(std::string_view keyBytes, uint32_t rec) {
  forget();
  Item item{0, rec, std::string(keyBytes)};
  item.key.resize(static_cast<std::size_t>(keyWidth()), ' ');
  uint32_t root = 0;
  {
    PageRef page(cache_, kRootPage);
    if (!page) return false;
    PageView v = page.view();
    if (v.keyCount() == 0 && v.child(0) == 0) {
      v.insertItem(0, 0, rec, bytesOf(item.key));
      page.changed();
      return true;
    }
    root = page.offset();
  }
  Raised up;
  bool failed = false;
  insertInto(root, item, up, failed);
  if (failed) return false;
  if (up.raised) {
    PageRef fresh(cache_, cache_.allocate());
    PageView v = fresh.view();
    v.insertItem(0, up.item.child, up.item.record, bytesOf(up.item.key));
    v.setChild(1, root);
    fresh.changed();
    cache_.setRootOnRelease(fresh.get());
  }
  return true;
}

bool OrderTree::insertInto(uint32_t offset, const Item& item, Raised& up, bool& failed) {
  if (path_.size() >= kMaxDepth) return !(failed = true);
  PageRef page(cache_, offset);
  if (!page) return !(failed = true);
  const PageView v = page.view();
  // The first key greater than the new one: equal keys stay before it.
  int low = 0;
  int high = v.keyCount();
  while (low < high) {
    const int mid = (low + high) / 2;
    const int c = std::memcmp(keyAt(v, mid).data(), item.key.data(), item.key.size());
    if ((descending_ ? -c : c) <= 0) low = mid + 1;
    else high = mid;
  }
  const uint32_t child = v.child(low);
  if (child == 0) {
    placeItem(page.get(), low, item, up);
    return true;
  }
  path_.push_back({offset, low});
  Raised fromChild;
  insertInto(child, item, fromChild, failed);
  path_.pop_back();
  if (fromChild.raised) placeItem(page.get(), low, fromChild.item, up);
  return !failed;
}

// Puts an item at a position of a page; a full page splits: of its keys with the
// new one in place, the first half go to a new page, the next one moves up (with
// the new page as its child) and the rest stay.
void OrderTree::placeItem(PageCache::Page* page, int position, const Item& item, Raised& up) {
  PageView v = cache_.view(page);
  const int n = v.keyCount();
  const int m = v.maxKeys();
  if (n < m) {
    v.insertItem(position, item.child, item.record, bytesOf(item.key));
    cache_.markChanged(page);
    return;
  }
  std::vector<Item> items = itemsOf(page);
  const uint32_t rightmost = v.child(n);
  items.insert(items.begin() + position, item);
  const std::size_t half = static_cast<std::size_t>(m / 2);
  PageRef fresh(cache_, cache_.allocate());
  writeItems(fresh.get(), std::vector<Item>(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(half)),
             items[half].child);
  up.raised = true;
  up.item = {fresh.offset(), items[half].record, items[half].key};
  writeItems(page, std::vector<Item>(items.begin() + static_cast<std::ptrdiff_t>(half) + 1, items.end()), rightmost);
}

// ---- removal ----------------------------------------------------------------------

bool OrderTree::remove(std::string_view keyBytes, uint32_t rec) {
  std::string full(keyBytes);
  full.resize(static_cast<std::size_t>(keyWidth()), ' ');
  if (!locate(full, rec)) return false;
  removeCurrent();
  forget();
  return true;
}

// Removes the key the path stands on. A key in a leaf leaves its page; an inner
// key is replaced by its in-order predecessor, which then leaves its own page.
// Leaves may be empty (a merge under a one-key root is not made): when the left
// subtree holds no key the successor stands in, and when neither does, the key
// leaves with its empty left subtree.
void OrderTree::removeCurrent() {
  const int h = maxKeys() / 2;
  for (;;) {
    const std::size_t depth = path_.size() - 1;
    PageRef holder(cache_, path_[depth].page);
    if (!holder) return;
    PageView v = holder.view();
    const int k = path_[depth].position;
    if (v.child(k) == 0) {
      v.removeItem(k);
      holder.changed();
      if (v.keyCount() < h) rebalance(depth);
      return;
    }
    const std::vector<PathEntry> atKey = path_;
    const bool below = previous() && path_.size() > depth + 1;
    if (!below) {
      path_ = atKey;
      if (!(next() && path_.size() > depth + 1)) {
        path_ = atKey;
        const uint32_t emptyLeft = v.child(k);
        v.removeItem(k);
        holder.changed();
        PageRef left(cache_, emptyLeft);
        if (left && left.view().keyCount() == 0 && left.view().child(0) == 0) cache_.freePage(left.get());
        if (v.keyCount() < h) rebalance(depth);
        return;
      }
    }
    v.setItem(k, record_, bytesOf(key_));
    holder.changed();
  }
}

// Brings the page at path depth `depth` back to half a page with an adjacent
// sibling: by taking keys from it when it has more than half a page, else by a
// merge, which may leave the parent short in turn. Some cases leave it as it is.
bool OrderTree::rebalance(std::size_t depth) {
  const int m = maxKeys();
  const int h = m / 2;
  while (depth >= 1) {
    PageRef parent(cache_, path_[depth - 1].page);
    PageRef page(cache_, path_[depth].page);
    if (!parent || !page) return false;
    PageView pv = parent.view();
    const int a = path_[depth - 1].position;
    const int parentKeys = pv.keyCount();
    const int q = page.view().keyCount();
    if (q >= h) return true;
    const bool rightSibling = a < parentKeys;
    if (!rightSibling && a == 0) return true;  // no sibling at all
    const int separator = rightSibling ? a : a - 1;
    PageRef sibling(cache_, pv.child(rightSibling ? a + 1 : a - 1));
    if (!sibling) return false;
    const int s = sibling.view().keyCount();
    if (parentKeys == 1 && q + s > m - 2) return true;

    std::vector<Item> mine = itemsOf(page.get());
    std::vector<Item> theirs = itemsOf(sibling.get());
    const uint32_t myRightmost = page.view().child(q);
    const uint32_t theirRightmost = sibling.view().child(s);
    Item sep{0, pv.record(separator), std::string(keyAt(pv, separator))};

    if (s > h) {
      const std::size_t c = static_cast<std::size_t>((q + s) / 2 - q);
      if (rightSibling) {
        sep.child = myRightmost;
        mine.push_back(sep);
        mine.insert(mine.end(), theirs.begin(), theirs.begin() + static_cast<std::ptrdiff_t>(c - 1));
        const Item& up = theirs[c - 1];
        pv.setItem(separator, up.record, bytesOf(up.key));
        writeItems(page.get(), mine, up.child);
        writeItems(sibling.get(), std::vector<Item>(theirs.begin() + static_cast<std::ptrdiff_t>(c), theirs.end()),
                   theirRightmost);
      } else {
        sep.child = theirRightmost;
        std::vector<Item> moved(theirs.end() - static_cast<std::ptrdiff_t>(c - 1), theirs.end());
        moved.push_back(sep);
        moved.insert(moved.end(), mine.begin(), mine.end());
        const Item& up = theirs[static_cast<std::size_t>(s) - c];
        pv.setItem(separator, up.record, bytesOf(up.key));
        writeItems(page.get(), moved, myRightmost);
        writeItems(sibling.get(),
                   std::vector<Item>(theirs.begin(), theirs.begin() + static_cast<std::ptrdiff_t>(s - static_cast<int>(c))),
                   up.child);
      }
      parent.changed();
      return true;
    }

    const bool parentIsRoot = depth - 1 == 0;
    if (parentIsRoot && parentKeys == 1) return true;
    // Merge into the left page of the two: its keys, the separator, the right
    // page's keys. The right page goes onto the free list.
    PageRef& left = rightSibling ? page : sibling;
    PageRef& right = rightSibling ? sibling : page;
    std::vector<Item>& leftItems = rightSibling ? mine : theirs;
    const std::vector<Item>& rightItems = rightSibling ? theirs : mine;
    sep.child = rightSibling ? myRightmost : theirRightmost;
    leftItems.push_back(sep);
    leftItems.insert(leftItems.end(), rightItems.begin(), rightItems.end());
    writeItems(left.get(), leftItems, rightSibling ? theirRightmost : myRightmost);
    pv.removeItem(separator);
    pv.setChild(separator, left.offset());
    parent.changed();
    cache_.freePage(right.get());
    if (parentIsRoot || pv.keyCount() >= h) return true;
    --depth;
  }
  return true;
}

// ---- whole tree ----------------------------------------------------------------------

bool OrderTree::zap() {
  forget();
  cache_.flush();
  cache_.reset(kPageSize, 0, kPageSize);
  NtxHeader shortHeader;
  uint8_t head[kShortHeaderSize];
  if (file_.readAt(0, head, sizeof head) != static_cast<int64_t>(sizeof head) ||
      !decodeShortHeader(head, sizeof head, shortHeader))
    return false;
  shortHeader.rootPage = kPageSize;
  shortHeader.freeListHead = 0;
  encodeShortHeader(shortHeader, head);
  uint8_t page[kPageSize];
  PageView(page, keyWidth(), maxKeys()).format();
  return file_.writeAt(0, head, sizeof head) == static_cast<int64_t>(sizeof head) &&
         file_.writeAt(kPageSize, page, kPageSize) == static_cast<int64_t>(kPageSize) &&
         file_.truncate(2 * kPageSize);
}

uint64_t OrderTree::countKeys(const std::function<bool(const uint8_t* key)>& within) {
  uint64_t n = 0;
  countPage(0, 0, within, n);
  return n;
}

void OrderTree::countPage(uint32_t offset, int depth, const std::function<bool(const uint8_t*)>& within,
                          uint64_t& n) {
  if (depth >= static_cast<int>(kMaxDepth)) return;
  PageRef page(cache_, offset);
  if (!page) return;
  const PageView v = page.view();
  const int count = v.keyCount();
  for (int i = 0; i <= count; ++i) {
    if (const uint32_t child = v.child(i); child != 0) countPage(child, depth + 1, within, n);
    if (i < count && (!within || within(v.key(i)))) ++n;
  }
}

}  // namespace talvor::ntx
