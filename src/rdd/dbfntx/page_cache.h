// The page cache of one open order: page slots over the order's index file, and
// the file-level state that page access changes (root page offset, free list
// head, last page offset, the changed flag).
//
// Rules: a loaded page stays in its slot; releasing a changed page writes it at
// once (the cache saves reads, not writes); a root change is recorded in the
// short header when the new root page is released or the cache is flushed; new
// pages come from the free list, else from the end of the file. Slots start at
// 16 and grow by 16 only when every slot holds a page in use, or, up to a set
// limit, to keep more released pages (exclusive tables).
//
// Page pointers stay valid until the cache is flushed or the page's slot is
// reused for another page (only after the page was released).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "rdd/dbfntx/ntx_format.h"
#include "rdd/file_system.h"

namespace talvor::ntx {

class PageCache {
 public:
  static constexpr uint32_t kNoPage = 0xFFFFFFFF;

  struct Page {
    uint32_t offset = kNoPage;
    bool changed = false;
    int uses = 0;  // loads not yet released (a page may be held twice)
    bool inUse() const { return uses > 0; }
    int position = -1;  // the caller's current position within the page
    std::array<uint8_t, kPageSize> data{};
  };

  // Takes the key layout and the short-header fields from `header`; the last
  // page offset is the file size - 1024.
  PageCache(File& file, const NtxHeader& header);

  // In a shared table every load of the root re-reads the short header first.
  void setShared(bool shared) { shared_ = shared; }
  // Lets the slots grow to `limit` before released pages are given up (an
  // exclusive table, where no other station changes the pages); the default
  // limit is the starting 16.
  void setSlotLimit(std::size_t limit);

  // Loads a page by offset (0 = the root page). Null when the page cannot be
  // read in full, its offset is no page offset, or its key count or item offsets
  // do not fit the page (a damaged page reads as unreadable).
  Page* load(uint32_t offset);
  // Ends a use of the page: writes it when changed, then applies a pending root
  // change naming it.
  void release(Page* page);
  void markChanged(Page* page) { page->changed = true; }

  // A formatted empty page, in use and changed: the head of the free list when
  // there is one (the short header records the new head), else a new page after
  // the last one.
  Page* allocate();
  // Empties an in-use page and puts it at the head of the free list (short
  // header written).
  void freePage(Page* page);
  // Records that `page` is the new root once it is released (or at flush).
  void setRootOnRelease(const Page* page);

  // Writes every changed page and a pending root change, then forgets all pages.
  void flush();
  // New file state after the file was rewritten (zap, rebuild); call after flush().
  void reset(uint32_t rootPage, uint32_t freeListHead, uint64_t lastPageOffset);

  PageView view(Page* page) const { return PageView(page->data.data(), keyWidth_, maxKeys_); }

  uint32_t rootPage() const { return header_.rootPage; }
  uint32_t freeListHead() const { return header_.freeListHead; }
  uint64_t lastPageOffset() const { return lastPage_; }
  int keyWidth() const { return keyWidth_; }
  int maxKeys() const { return maxKeys_; }
  // True when a page or the header was written since clearFileChanged().
  bool fileChanged() const { return fileChanged_; }
  void clearFileChanged() { fileChanged_ = false; }
  // The OS error code of the first page or header write that failed or came up
  // short since the last call (0 when none did); the caller reports it.
  int takeWriteError() { return std::exchange(writeError_, 0); }

  std::size_t slotCount() const { return slots_.size(); }
  std::size_t slotCapacity() const { return capacity_; }
  uint64_t pageReads() const { return pageReads_; }

 private:
  Page* takeSlot();
  void writePage(Page* page);
  void writeShortHeader();
  void write(uint64_t offset, const uint8_t* bytes, std::size_t size);
  bool refreshHeader();
  bool pageFits(Page* page) const;

  File& file_;
  NtxHeader header_;  // only the short-header fields are kept current
  int keyWidth_;
  int maxKeys_;
  uint64_t lastPage_;
  bool shared_ = false;
  bool fileChanged_ = false;
  int writeError_ = 0;
  uint32_t pendingRoot_ = kNoPage;
  std::vector<std::unique_ptr<Page>> slots_;
  std::unordered_map<uint32_t, Page*> where_;  // the slot of each cached page offset
  std::size_t capacity_ = 16;
  std::size_t slotLimit_ = 16;
  std::size_t hand_ = 0;  // where the search for a reusable slot starts
  uint64_t pageReads_ = 0;
};

}  // namespace talvor::ntx
