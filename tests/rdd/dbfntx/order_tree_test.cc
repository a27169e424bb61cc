#include "rdd/dbfntx/order_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "rdd/dbfntx/memory_file.h"
#include "rdd/dbfntx/ntx_build.h"
#include "rdd/dbfntx/ntx_check.h"

namespace talvor::ntx {
namespace {

using testing::MemoryFile;
using Entry = std::pair<std::string, uint32_t>;  // key, record

std::string key6(int i) {
  std::string k = std::to_string(i);
  return std::string(6 - k.size(), '0') + k;
}

// An order file built bottom-up from the entries (which must be in key order).
MemoryFile built(const std::vector<Entry>& entries, int width, NtxHeader& header) {
  MemoryFile file;
  KeySorter sorter(width, false);
  for (const auto& [k, r] : entries) sorter.add(r, reinterpret_cast<const uint8_t*>(k.data()));
  header = NtxHeader::forNewOrder(width, 0, "KEY");
  EXPECT_TRUE(writeIndexTree(file, header, sorter));
  return file;
}

std::vector<Entry> walkForward(OrderTree& tree) {
  std::vector<Entry> out;
  for (bool on = tree.first(); on; on = tree.next()) out.emplace_back(tree.key(), tree.record());
  return out;
}

std::vector<Entry> walkBackward(OrderTree& tree) {
  std::vector<Entry> out;
  for (bool on = tree.last(); on; on = tree.previous()) out.emplace_back(tree.key(), tree.record());
  std::reverse(out.begin(), out.end());
  return out;
}

// The tree's keys in both directions equal the reference, the checker finds no
// damage, and no page is both in the tree and on the free list.
void expectTreeHolds(MemoryFile& file, OrderTree& tree, const std::vector<Entry>& reference) {
  tree.cache().flush();
  EXPECT_EQ(walkForward(tree), reference);
  EXPECT_EQ(walkBackward(tree), reference);
  const NtxCheckReport report = checkNtx(file);
  EXPECT_TRUE(report.ok) << (report.damage.empty() ? "" : report.damage.front());
  EXPECT_EQ(report.keyCount, reference.size());
  EXPECT_EQ(report.filePages, 1 + report.treePages + report.freePages);  // no page lost
}

TEST(OrderTree, WalksAndSeeksABuiltTree) {
  std::vector<Entry> entries;
  for (int i = 1; i <= 1000; ++i) entries.emplace_back(key6(i / 3 * 3), static_cast<uint32_t>(i));
  std::stable_sort(entries.begin(), entries.end(),
                   [](const Entry& a, const Entry& b) { return a.first < b.first; });
  NtxHeader header;
  MemoryFile file = built(entries, 6, header);
  OrderTree tree(file, header);
  EXPECT_EQ(walkForward(tree), entries);
  EXPECT_EQ(walkBackward(tree), entries);
  EXPECT_EQ(tree.countKeys(), 1000u);

  // The first of three equal keys, a greater key for a missing one, a prefix.
  EXPECT_EQ(tree.seek("000300", {}), OrderTree::SeekResult::Found);
  EXPECT_EQ(tree.record(), 300u);
  EXPECT_EQ(tree.seek("000301", {}), OrderTree::SeekResult::Greater);
  EXPECT_EQ(tree.key(), "000303");
  EXPECT_EQ(tree.seek("0009", {}), OrderTree::SeekResult::Found);
  EXPECT_EQ(tree.key(), "000900");
  EXPECT_EQ(tree.seek("9", {}), OrderTree::SeekResult::Nothing);
  EXPECT_FALSE(tree.positioned());
  // Rejected candidates pass the search on to the next key in key order.
  EXPECT_EQ(tree.seek("000300", [](uint32_t r) { return r > 301; }), OrderTree::SeekResult::Found);
  EXPECT_EQ(tree.record(), 302u);
  EXPECT_EQ(tree.seek("000300", [](uint32_t r) { return r > 302; }), OrderTree::SeekResult::Greater);
  EXPECT_EQ(tree.key(), "000303");

  ASSERT_TRUE(tree.locate("000300", 301));
  ASSERT_TRUE(tree.next());
  EXPECT_EQ(tree.record(), 302u);
  EXPECT_FALSE(tree.locate("000300", 303));
}

TEST(OrderTree, SplitOfAFullLeafGivesHalfOneUpAndTheRest) {
  // 62 keys of width 6 fill the root leaf; the 63rd splits it into 31 / 1 / 31.
  NtxHeader header;
  MemoryFile file = built({}, 6, header);
  OrderTree tree(file, header);
  std::vector<Entry> reference;
  for (int i = 1; i <= 63; ++i) {
    ASSERT_TRUE(tree.insert(key6(i * 10), static_cast<uint32_t>(i)));
    reference.emplace_back(key6(i * 10), static_cast<uint32_t>(i));
  }
  tree.cache().flush();
  EXPECT_EQ(file.size(), 4 * 1024);
  const uint32_t root = file.u32(4);
  EXPECT_EQ(root, 3u * 1024);
  EXPECT_EQ(file.u16(root), 1);      // the key that moved up
  EXPECT_EQ(file.u16(2 * 1024), 31);  // the new page, on the left
  EXPECT_EQ(file.u16(1024), 31);      // the old page keeps the rest
  expectTreeHolds(file, tree, reference);
}

TEST(OrderTree, EqualKeysGoAfterTheExistingOnes) {
  std::vector<Entry> entries;
  for (int i = 1; i <= 200; ++i) entries.emplace_back("AAAAAA", static_cast<uint32_t>(i));
  NtxHeader header;
  MemoryFile file = built(entries, 6, header);
  OrderTree tree(file, header);
  ASSERT_TRUE(tree.insert("AAAAAA", 201));
  entries.emplace_back("AAAAAA", 201);
  expectTreeHolds(file, tree, entries);
}

TEST(OrderTree, TwoLeavesUnderAOneKeyRootAreNotMerged) {
  NtxHeader header;
  MemoryFile file = built({}, 6, header);
  OrderTree tree(file, header);
  std::vector<Entry> reference;
  for (int i = 1; i <= 63; ++i) {
    ASSERT_TRUE(tree.insert(key6(i), static_cast<uint32_t>(i)));
    reference.emplace_back(key6(i), static_cast<uint32_t>(i));
  }
  // Empty the left leaf entirely, then take most of the right one.
  for (int i = 1; i <= 31; ++i) ASSERT_TRUE(tree.remove(key6(i), static_cast<uint32_t>(i)));
  for (int i = 33; i <= 60; ++i) ASSERT_TRUE(tree.remove(key6(i), static_cast<uint32_t>(i)));
  reference.erase(reference.begin() + 32, reference.begin() + 60);
  reference.erase(reference.begin(), reference.begin() + 31);
  tree.cache().flush();
  EXPECT_EQ(file.size(), 4 * 1024);  // both leaves and the root stay
  EXPECT_EQ(file.u32(8), 0u);        // nothing freed
  expectTreeHolds(file, tree, reference);
  // The root's key goes too; every key stays findable.
  ASSERT_TRUE(tree.remove(key6(32), 32));
  reference.erase(reference.begin());
  expectTreeHolds(file, tree, reference);
  for (const auto& [k, r] : reference) EXPECT_TRUE(tree.locate(k, r)) << k;
}

// Random inserts and removes with many equal keys, checked against a sorted
// reference; freed pages are reused so the file stays bounded.
TEST(OrderTree, RandomChangesKeepTheTreeEqualToAReference) {
  for (int width : {6, 200}) {
    NtxHeader header;
    MemoryFile file = built({}, width, header);
    OrderTree tree(file, header);
    std::mt19937 random(42u + static_cast<unsigned>(width));
    // Reference in tree order: key, then insertion sequence.
    std::vector<std::pair<std::pair<std::string, uint64_t>, uint32_t>> reference;
    uint64_t sequence = 0;
    uint32_t nextRecord = 1;
    int64_t largestFile = 0;
    const int rounds = width == 6 ? 12000 : 3000;
    for (int op = 0; op < rounds; ++op) {
      const bool growing = (op / 2000) % 2 == 0;
      if (reference.empty() || random() % 100 < (growing ? 65u : 35u)) {
        std::string k = key6(static_cast<int>(random() % 300));
        k.resize(static_cast<std::size_t>(width), ' ');
        ASSERT_TRUE(tree.insert(k, nextRecord));
        reference.push_back({{k, sequence++}, nextRecord++});
        std::sort(reference.begin(), reference.end());
      } else {
        const std::size_t at = random() % reference.size();
        ASSERT_TRUE(tree.remove(reference[at].first.first, reference[at].second)) << op;
        reference.erase(reference.begin() + static_cast<std::ptrdiff_t>(at));
      }
      if (op % 1000 == 999) {
        std::vector<Entry> expected;
        for (const auto& e : reference) expected.emplace_back(e.first.first, e.second);
        expectTreeHolds(file, tree, expected);
        if (op >= 4000) largestFile = std::max(largestFile, file.size());
      }
    }
    if (width == 6) {
      EXPECT_LT(largestFile, 200 * 1024);
    }
  }
}

TEST(OrderTree, ZapLeavesTheHeaderAndOneEmptyLeaf) {
  std::vector<Entry> entries;
  for (int i = 1; i <= 500; ++i) entries.emplace_back(key6(i), static_cast<uint32_t>(i));
  NtxHeader header;
  MemoryFile file = built(entries, 6, header);
  OrderTree tree(file, header);
  ASSERT_TRUE(tree.zap());
  EXPECT_EQ(file.size(), 2048);
  EXPECT_EQ(file.u32(4), 1024u);
  EXPECT_EQ(file.u16(1024), 0);
  EXPECT_FALSE(tree.first());
  ASSERT_TRUE(tree.insert(key6(5), 1));
  expectTreeHolds(file, tree, {{key6(5), 1}});
}

}  // namespace
}  // namespace talvor::ntx

namespace talvor::ntx {
namespace {

// Damaged files: every walk, search and change ends, reads nothing outside the
// file's pages, and never crashes (the sanitizer build runs this too).
TEST(OrderTree, DamagedFilesNeverCrashOrLoop) {
  std::vector<Entry> entries;
  for (int i = 1; i <= 400; ++i) entries.emplace_back(key6(i), static_cast<uint32_t>(i));
  struct Damage {
    const char* what;
    void (*apply)(MemoryFile&);
  } damages[] = {
      {"root beyond the file", [](MemoryFile& f) { storeU32(f.bytes.data() + 4, 1u << 30); }},
      {"root not a page offset", [](MemoryFile& f) { storeU32(f.bytes.data() + 4, 1500); }},
      {"child pointing at its own page",
       [](MemoryFile& f) {
         const uint32_t root = f.u32(4);
         storeU32(f.bytes.data() + root + f.u16(root + 2), root);
       }},
      {"key count beyond the maximum", [](MemoryFile& f) { storeU16(f.bytes.data() + 1024, 999); }},
      {"item offset outside the page", [](MemoryFile& f) { storeU16(f.bytes.data() + 1024 + 2, 1020); }},
      {"cut in the middle of a page", [](MemoryFile& f) { f.bytes.resize(f.bytes.size() - 1500); }},
      {"free list into the tree",
       [](MemoryFile& f) { storeU32(f.bytes.data() + 8, 1024); }},
  };
  for (const Damage& d : damages) {
    NtxHeader header;
    MemoryFile file = built(entries, 6, header);
    d.apply(file);
    decodeShortHeader(file.bytes.data(), file.bytes.size(), header);
    OrderTree tree(file, header);
    int steps = 0;
    for (bool on = tree.first(); on && steps < 100000; on = tree.next()) ++steps;
    EXPECT_LT(steps, 100000) << d.what;
    steps = 0;
    for (bool on = tree.last(); on && steps < 100000; on = tree.previous()) ++steps;
    EXPECT_LT(steps, 100000) << d.what;
    tree.seek("000200", {});
    tree.locate("000200", 200);
    for (int i = 0; i < 100; ++i) tree.insert(key6(1000 + i), static_cast<uint32_t>(1000 + i));
    for (int i = 1; i <= 100; ++i) tree.remove(key6(i), static_cast<uint32_t>(i));
    tree.countKeys();
    tree.cache().flush();
    checkNtx(file);
  }
}

}  // namespace
}  // namespace talvor::ntx
