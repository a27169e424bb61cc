#include "rdd/dbfntx/page_cache.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rdd/dbfntx/memory_file.h"
#include "rdd/dbfntx/ntx_build.h"
#include "rdd/dbfntx/ntx_check.h"

namespace talvor::ntx {
namespace {

using testing::MemoryFile;

// An index of n keys "000001".. of width 6.
MemoryFile builtIndex(int n, NtxHeader& header) {
  MemoryFile file;
  KeySorter sorter(6, false);
  for (int i = 1; i <= n; ++i) {
    std::string k = std::to_string(i);
    k.insert(0, 6 - k.size(), '0');
    sorter.add(uint32_t(i), reinterpret_cast<const uint8_t*>(k.data()));
  }
  header = NtxHeader::forNewOrder(6, 0, "KEY");
  EXPECT_TRUE(writeIndexTree(file, header, sorter));
  return file;
}

TEST(PageCache, LoadsOnceAndWritesOnlyChangedPagesOnRelease) {
  NtxHeader header;
  MemoryFile file = builtIndex(1000, header);
  PageCache cache(file, header);
  EXPECT_EQ(cache.lastPageOffset(), 18u * 1024);

  PageCache::Page* root = cache.load(0);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->offset, header.rootPage);
  EXPECT_EQ(cache.view(root).keyCount(), 16);
  EXPECT_EQ(root->position, -1);
  cache.release(root);
  const int writesBefore = file.writes;
  EXPECT_EQ(cache.load(header.rootPage), root);  // no second read
  EXPECT_EQ(cache.pageReads(), 1u);
  cache.release(root);
  EXPECT_EQ(file.writes, writesBefore);
  EXPECT_FALSE(cache.fileChanged());

  PageCache::Page* leaf = cache.load(1024);
  cache.view(leaf).removeItem(0);
  cache.markChanged(leaf);
  cache.release(leaf);
  EXPECT_EQ(file.u16(1024), 57);
  EXPECT_TRUE(cache.fileChanged());
}

TEST(PageCache, SlotsGrowBySixteenOnlyWhenAllAreInUse) {
  NtxHeader header;
  MemoryFile file = builtIndex(1000, header);
  PageCache cache(file, header);
  std::vector<PageCache::Page*> held;
  for (uint32_t p = 1; p <= 16; ++p) held.push_back(cache.load(p * 1024));
  EXPECT_EQ(cache.slotCapacity(), 16u);
  held.push_back(cache.load(17 * 1024));
  EXPECT_EQ(cache.slotCapacity(), 32u);
  for (auto* p : held) cache.release(p);
  for (int round = 0; round < 3; ++round)
    for (uint32_t p = 1; p <= 18; ++p) cache.release(cache.load(p * 1024));
  EXPECT_EQ(cache.slotCapacity(), 32u);
  EXPECT_LE(cache.slotCount(), 32u);
}

TEST(PageCache, AllocationUsesTheFreeListThenTheEndOfTheFile) {
  NtxHeader header;
  MemoryFile file = builtIndex(0, header);  // header + empty root at 1024
  PageCache cache(file, header);

  PageCache::Page* a = cache.allocate();
  EXPECT_EQ(a->offset, 2048u);
  EXPECT_EQ(cache.view(a).itemOffset(0), 128);
  cache.release(a);
  EXPECT_EQ(file.bytes.size(), 3072u);

  PageCache::Page* b = cache.allocate();
  EXPECT_EQ(b->offset, 3072u);
  cache.freePage(b);
  EXPECT_EQ(file.u32(8), 3072u);  // short header written at once
  cache.release(b);
  EXPECT_EQ(file.u16(3072), 0);
  PageCache::Page* c = cache.load(2048);
  cache.freePage(c);  // head 2048 -> 3072 -> end
  cache.release(c);
  EXPECT_EQ(file.u32(8), 2048u);
  EXPECT_EQ(file.u32(2048 + 128), 3072u);  // threaded through item 0's child

  PageCache::Page* again = cache.allocate();
  EXPECT_EQ(again->offset, 2048u);
  EXPECT_EQ(file.u32(8), 3072u);
  EXPECT_EQ(cache.view(again).child(0), 0u);  // formatted
  cache.release(again);
  EXPECT_EQ(cache.allocate()->offset, 3072u);
  EXPECT_EQ(file.u32(8), 0u);
  EXPECT_EQ(cache.allocate()->offset, 4096u);
}

TEST(PageCache, RootChangeReachesTheShortHeaderOnReleaseOrFlush) {
  NtxHeader header;
  MemoryFile file = builtIndex(0, header);
  PageCache cache(file, header);
  PageCache::Page* newRoot = cache.allocate();
  cache.setRootOnRelease(newRoot);
  EXPECT_EQ(file.u32(4), 1024u);
  cache.release(newRoot);
  EXPECT_EQ(file.u32(4), 2048u);
  EXPECT_EQ(cache.rootPage(), 2048u);

  PageCache::Page* other = cache.allocate();
  cache.setRootOnRelease(other);
  cache.flush();  // writes the page and the root change, forgets every page
  EXPECT_EQ(file.u32(4), 3072u);
  EXPECT_EQ(file.bytes.size(), 4096u);
  const uint64_t reads = cache.pageReads();
  cache.release(cache.load(0));
  EXPECT_EQ(cache.pageReads(), reads + 1);
}

TEST(PageCache, SharedTablesRereadTheShortHeaderForTheRoot) {
  NtxHeader header;
  MemoryFile file = builtIndex(1000, header);
  PageCache exclusive(file, header), shared(file, header);
  shared.setShared(true);
  storeU32(file.bytes.data() + 4, 1024);  // another station moved the root
  EXPECT_EQ(exclusive.load(0)->offset, header.rootPage);
  EXPECT_EQ(shared.load(0)->offset, 1024u);
}

TEST(PageCache, DamagedPagesDoNotLoad) {
  NtxHeader header;
  MemoryFile file = builtIndex(1000, header);
  PageCache cache(file, header);
  storeU16(file.bytes.data() + 2048, 63);           // above the maximum of 62
  storeU16(file.bytes.data() + 3072 + 2, 1020);     // item 0 outside the page
  for (uint32_t offset : {2048u, 3072u, 1500u, 512u, 64u * 1024})
    EXPECT_EQ(cache.load(offset), nullptr) << offset;
  EXPECT_NE(cache.load(4096), nullptr);
}

}  // namespace
}  // namespace talvor::ntx
