// The B-tree of one open order, over its page cache: navigation in key order with
// a path stack, the tree search (seek and locate modes), key insertion with page
// splits, and key removal with rebalancing.
//
// Keys are in ascending byte order, or descending when the header says so.
//
// The path stack holds (page offset, position) pairs from the root down to the
// current key. The last entry is the page that holds the current key and the
// key's position in it; every entry above it names the child position that the
// walk descended through. A key in an inner page has its left subtree at the
// child of its own item and its right subtree at the child of the next item.
//
// Pages are loaded for the time of one operation and released at its end (a
// changed page is written when released); in a shared table the caller flushes
// the cache after each operation, so nothing read survives to the next one.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "rdd/dbfntx/ntx_format.h"
#include "rdd/dbfntx/page_cache.h"
#include "rdd/file_system.h"

namespace talvor::ntx {

class OrderTree {
 public:
  // Decides whether a candidate's record may be taken (SET DELETED, filter).
  using RecordFilter = std::function<bool(uint32_t record)>;

  enum class SeekResult {
    Found,    // an equal key was reached
    Greater,  // no equal key, but a greater one was reached
    Nothing,  // no key qualifies
  };

  struct PathEntry {
    uint32_t page;
    int position;
  };

  // `file` is not owned and must outlive the tree; `header` gives the key layout
  // and the root, free list and page counts as the file holds them.
  OrderTree(File& file, const NtxHeader& header);

  PageCache& cache() { return cache_; }
  int keyWidth() const { return cache_.keyWidth(); }
  int maxKeys() const { return cache_.maxKeys(); }

  // ---- the current key ------------------------------------------------------
  bool positioned() const { return !path_.empty(); }
  uint32_t record() const { return record_; }
  const std::string& key() const { return key_; }
  const std::vector<PathEntry>& path() const { return path_; }
  void forget();
  // True when the page of the current key still holds the current record and
  // key at the remembered position, so that the path can be followed on.
  bool stillPositioned();

  // ---- navigation: false when there is no key to go to (nothing positioned) ---
  bool first();
  bool last();
  bool next();
  bool previous();

  // ---- searches ---------------------------------------------------------------
  // The first key in key order that is not smaller than `sought` (a prefix of a
  // key counts as equal, as the seek comparison says) and whose record `accept`
  // takes. Positions on it unless the result is Nothing.
  SeekResult seek(std::string_view sought, const RecordFilter& accept);
  // Finds exactly (key, record) and positions on it.
  bool locate(std::string_view keyBytes, uint32_t rec);

  // ---- changes ------------------------------------------------------------------
  // Inserts after every equal key. False when a page could not be read. The
  // position is forgotten.
  bool insert(std::string_view keyBytes, uint32_t rec);
  // Removes (key, record). False when it is not in the tree (nothing changed).
  // The position is forgotten.
  bool remove(std::string_view keyBytes, uint32_t rec);
  // Empties the tree: a formatted leaf at 1024 is the root, the free list is
  // empty and the file is cut after it.
  bool zap();

  // Counts the keys for which `within` holds (every key without one).
  uint64_t countKeys(const std::function<bool(const uint8_t* key)>& within = {});

 private:
  class PageRef;
  struct Item {
    uint32_t child;
    uint32_t record;
    std::string key;
  };
  // An item moving up after a split: its child is the new left page.
  struct Raised {
    bool raised = false;
    Item item;
  };

  bool setCurrent(PageCache::Page* page, int position);
  bool descendLeftmost(uint32_t offset);
  bool descendRightmost(uint32_t offset);
  bool climbForward();
  bool climbBackward();
  SeekResult searchPage(uint32_t offset, std::string_view sought, const RecordFilter& accept, bool locating,
                        uint32_t rec);
  bool insertInto(uint32_t offset, const Item& item, Raised& up, bool& failed);
  void placeItem(PageCache::Page* page, int position, const Item& item, Raised& up);
  void removeCurrent();
  bool rebalance(std::size_t depth);
  std::vector<Item> itemsOf(PageCache::Page* page);
  void writeItems(PageCache::Page* page, const std::vector<Item>& items, uint32_t rightmost);
  void countPage(uint32_t offset, int depth, const std::function<bool(const uint8_t*)>& within, uint64_t& n);

  File& file_;
  PageCache cache_;
  bool descending_;  // keys held in descending order (from the header's flag)
  std::vector<PathEntry> path_;
  uint32_t record_ = 0;
  std::string key_;
};

}  // namespace talvor::ntx
