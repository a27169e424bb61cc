#include "rdd/dbfntx/page_cache.h"

#include <algorithm>

namespace talvor::ntx {

namespace {
constexpr std::size_t kSlotGrowth = 16;

uint64_t lastPageOf(File& file) {
  int64_t size = file.size();
  return size > static_cast<int64_t>(kPageSize) ? static_cast<uint64_t>(size) - kPageSize : 0;
}
}  // namespace

PageCache::PageCache(File& file, const NtxHeader& header)
    : file_(file),
      header_(header),
      keyWidth_(header.keyWidth),
      maxKeys_(header.maxKeys),
      lastPage_(lastPageOf(file)) {
  slots_.reserve(capacity_);
}

bool PageCache::refreshHeader() {
  uint8_t bytes[kShortHeaderSize];
  if (file_.readAt(0, bytes, sizeof bytes) != static_cast<int64_t>(sizeof bytes)) return false;
  decodeShortHeader(bytes, sizeof bytes, header_);
  lastPage_ = lastPageOf(file_);
  return true;
}

bool PageCache::pageFits(Page* page) const {
  return pageLayoutFits(keyWidth_, maxKeys_) && view(page).itemsInBounds();
}

// A slot for another page, holding no page any more: a new slot while there is
// room, else the next slot not in use (taken in turn), else a new one.
PageCache::Page* PageCache::takeSlot() {
  if (slots_.size() >= capacity_ && capacity_ < slotLimit_) capacity_ += kSlotGrowth;
  Page* page = nullptr;
  if (slots_.size() < capacity_) {
    slots_.push_back(std::make_unique<Page>());
    page = slots_.back().get();
  } else {
    for (std::size_t i = 0; i < slots_.size() && !page; ++i) {
      Page* candidate = slots_[(hand_ + i) % slots_.size()].get();
      if (!candidate->inUse()) {
        page = candidate;
        hand_ = (hand_ + i + 1) % slots_.size();
      }
    }
    if (!page) {
      capacity_ += kSlotGrowth;
      slots_.push_back(std::make_unique<Page>());
      page = slots_.back().get();
    }
  }
  if (page->offset != kNoPage) where_.erase(page->offset);
  page->offset = kNoPage;
  page->changed = false;
  page->uses = 0;
  return page;
}

void PageCache::setSlotLimit(std::size_t limit) { slotLimit_ = std::max(limit, capacity_); }

PageCache::Page* PageCache::load(uint32_t offset) {
  if (offset == 0) {
    if (shared_ && !refreshHeader()) return nullptr;
    offset = header_.rootPage;
  }
  if (offset < kPageSize || offset % kPageSize != 0) return nullptr;
  if (const auto found = where_.find(offset); found != where_.end()) {
    ++found->second->uses;
    return found->second;
  }
  Page* page = takeSlot();
  ++pageReads_;
  if (file_.readAt(offset, page->data.data(), kPageSize) != static_cast<int64_t>(kPageSize) ||
      !pageFits(page))
    return nullptr;
  page->offset = offset;
  page->uses = 1;
  page->position = -1;
  where_[offset] = page;
  return page;
}

void PageCache::write(uint64_t offset, const uint8_t* bytes, std::size_t size) {
  if (file_.writeAt(offset, bytes, size) != static_cast<int64_t>(size) && writeError_ == 0)
    writeError_ = file_.lastError() != 0 ? file_.lastError() : oserr::DiskFull;
  fileChanged_ = true;
}

void PageCache::writePage(Page* page) {
  write(page->offset, page->data.data(), kPageSize);
  page->changed = false;
}

void PageCache::writeShortHeader() {
  uint8_t bytes[kShortHeaderSize];
  encodeShortHeader(header_, bytes);
  write(0, bytes, sizeof bytes);
}

void PageCache::release(Page* page) {
  if (!page) return;
  if (page->uses > 0) --page->uses;
  if (page->changed) writePage(page);
  if (pendingRoot_ != kNoPage && pendingRoot_ == page->offset) {
    header_.rootPage = pendingRoot_;
    pendingRoot_ = kNoPage;
    writeShortHeader();
  }
}

PageCache::Page* PageCache::allocate() {
  Page* page = nullptr;
  if (header_.freeListHead != 0) {
    page = load(header_.freeListHead);
    // A free list that leads nowhere readable is dropped rather than followed.
    header_.freeListHead = page ? view(page).child(0) : 0;
    writeShortHeader();
  }
  if (!page) {
    lastPage_ += kPageSize;
    page = takeSlot();
    page->offset = static_cast<uint32_t>(lastPage_);
    where_[page->offset] = page;
  }
  view(page).format();
  if (page->uses == 0) page->uses = 1;
  page->changed = true;
  page->position = -1;
  return page;
}

void PageCache::freePage(Page* page) {
  PageView v = view(page);
  v.setKeyCount(0);
  v.setChild(0, header_.freeListHead);
  header_.freeListHead = page->offset;
  page->changed = true;
  writeShortHeader();
}

void PageCache::setRootOnRelease(const Page* page) { pendingRoot_ = page->offset; }

void PageCache::flush() {
  for (auto& slot : slots_)
    if (slot->changed && slot->offset != kNoPage) writePage(slot.get());
  if (pendingRoot_ != kNoPage) {
    header_.rootPage = pendingRoot_;
    pendingRoot_ = kNoPage;
    writeShortHeader();
  }
  for (auto& slot : slots_) {
    slot->offset = kNoPage;
    slot->uses = 0;
    slot->changed = false;
  }
  where_.clear();
}

void PageCache::reset(uint32_t rootPage, uint32_t freeListHead, uint64_t lastPageOffset) {
  header_.rootPage = rootPage;
  header_.freeListHead = freeListHead;
  lastPage_ = lastPageOffset;
  pendingRoot_ = kNoPage;
}

}  // namespace talvor::ntx
