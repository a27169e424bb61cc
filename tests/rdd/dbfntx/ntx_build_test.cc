#include "rdd/dbfntx/ntx_build.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "rdd/dbfntx/memory_file.h"
#include "rdd/dbfntx/ntx_check.h"
#include "services/runtime.h"

namespace talvor::ntx {
namespace {

using testing::MemoryFile;

struct Entry {
  uint32_t record;
  std::string key;
};

struct Options {
  bool unique = false;
  std::size_t budget = 0;  // 0: everything in memory
};

MemoryFile build(const std::vector<Entry>& entries, int width, Options opt = {}) {
  MemoryFile file;
  KeySorter sorter(width, opt.unique, false, opt.budget ? opt.budget : std::size_t(1) << 30);
  for (const Entry& e : entries) sorter.add(e.record, reinterpret_cast<const uint8_t*>(e.key.data()));
  NtxHeader header = NtxHeader::forNewOrder(width, 0, "key");
  header.unique = opt.unique;
  EXPECT_TRUE(writeIndexTree(file, header, sorter));
  return file;
}

// Keys "000001".. of the given width, records 1..n.
std::vector<Entry> countingKeys(int n, int width = 6) {
  std::vector<Entry> out;
  for (int i = 1; i <= n; ++i) {
    std::string k = std::to_string(i);
    out.push_back({uint32_t(i), std::string(width - k.size(), '0') + k});
  }
  return out;
}

std::vector<Entry> inOrder(MemoryFile& file, NtxCheckReport* report = nullptr) {
  std::vector<Entry> out;
  NtxCheckReport r = checkNtx(file, [&](uint32_t rec, const uint8_t* key, int w) {
    out.push_back({rec, std::string(reinterpret_cast<const char*>(key), w)});
  });
  EXPECT_TRUE(r.ok) << (r.damage.empty() ? "" : r.damage.front());
  if (report) *report = r;
  return out;
}

// Key counts of the pages in file order, and whether each is a leaf.
struct PageInfo {
  int keys;
  bool leaf;
};
std::vector<PageInfo> pages(MemoryFile& file, int width) {
  std::vector<PageInfo> out;
  for (std::size_t at = kPageSize; at + kPageSize <= file.bytes.size(); at += kPageSize) {
    PageView page(file.bytes.data() + at, width, maxKeysPerPage(width));
    out.push_back({page.keyCount(), page.isLeaf()});
  }
  return out;
}

TEST(NtxBuild, EmptyIndexIsHeaderAndOneEmptyLeaf) {
  MemoryFile file = build({}, 6);
  ASSERT_EQ(file.bytes.size(), 2048u);
  EXPECT_EQ(file.u32(4), 1024u);  // root
  EXPECT_EQ(file.u32(8), 0u);     // free list
  std::array<uint8_t, kPageSize> fresh;
  PageView(fresh.data(), 6, 62).format();
  EXPECT_TRUE(std::equal(fresh.begin(), fresh.end(), file.bytes.begin() + 1024));
}

TEST(NtxBuild, LevelPlan) {
  LevelPlan p = planLevels(1000, 62);
  EXPECT_EQ(p.levels, 2);
  EXPECT_EQ(p.keysPerPage[2], 16);
  EXPECT_EQ(p.keysPerPage[1], 58);
  EXPECT_EQ(p.leaves, 17);
  EXPECT_EQ(p.fullLeaves, 15);

  p = planLevels(62, 62);
  EXPECT_EQ(p.levels, 2);
  EXPECT_EQ(p.keysPerPage[1], 31);
  EXPECT_EQ(p.keysPerPage[2], 1);
  EXPECT_EQ(p.fullLeaves, 1);

  p = planLevels(61, 62);
  EXPECT_EQ(p.levels, 1);
  EXPECT_EQ(p.keysPerPage[1], 61);
}

TEST(NtxBuild, ThousandKeysLayout) {
  MemoryFile file = build(countingKeys(1000), 6);
  std::vector<PageInfo> p = pages(file, 6);
  ASSERT_EQ(p.size(), 18u);
  // Leaves and the root are written in file order; the root comes last.
  std::vector<int> leafKeys;
  for (std::size_t i = 0; i < p.size(); ++i)
    if (p[i].leaf) leafKeys.push_back(p[i].keys);
  std::vector<int> expected(15, 58);
  expected.push_back(57);
  expected.push_back(57);
  EXPECT_EQ(leafKeys, expected);
  EXPECT_FALSE(p.back().leaf);
  EXPECT_EQ(p.back().keys, 16);
  EXPECT_EQ(file.u32(4), 18u * 1024);
  std::vector<Entry> keys = inOrder(file);
  ASSERT_EQ(keys.size(), 1000u);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(keys[i].record, uint32_t(i + 1));
}

TEST(NtxBuild, OneLeafUpToMKeysThenARootOverTwoLeaves) {
  MemoryFile single = build(countingKeys(61), 6);
  EXPECT_EQ(single.bytes.size(), 2048u);
  EXPECT_EQ(single.u32(4), 1024u);
  EXPECT_EQ(single.u16(1024), 61);

  MemoryFile two = build(countingKeys(62), 6);
  std::vector<PageInfo> p = pages(two, 6);
  ASSERT_EQ(p.size(), 3u);
  EXPECT_EQ(p[0].keys, 31);
  EXPECT_EQ(p[1].keys, 30);
  EXPECT_EQ(p[2].keys, 1);
  EXPECT_EQ(two.u32(4), 3072u);
  EXPECT_EQ(inOrder(two).size(), 62u);
}

TEST(NtxBuild, EqualKeysKeepTheOrderTheyCameInAndUniqueKeepsTheFirst) {
  std::vector<Entry> in = {{1, "BB"}, {2, "AA"}, {3, "BB"}, {4, "AA"}, {5, "AB"}, {6, "AA"}};
  std::vector<Entry> all = inOrder(*std::make_unique<MemoryFile>(build(in, 2)));
  std::vector<uint32_t> records;
  for (const Entry& e : all) records.push_back(e.record);
  EXPECT_EQ(records, (std::vector<uint32_t>{2, 4, 6, 5, 1, 3}));

  MemoryFile uniqueFile = build(in, 2, {.unique = true});
  EXPECT_EQ(uniqueFile.bytes[278], 1);
  records.clear();
  for (const Entry& e : inOrder(uniqueFile)) records.push_back(e.record);
  EXPECT_EQ(records, (std::vector<uint32_t>{2, 5, 1}));
}

// Builds whose plans leave the last leaves short give the tree the page writer
// makes: the root's rightmost child is a lone leaf one level higher.
TEST(NtxBuild, UnevenDepthTreesKeepEveryKey) {
  struct Case {
    int keys, width, leaves, middle, rootKeys, lastLeafKeys;
  };
  for (Case c : {Case{230641, 6, 3721, 60, 60, 1}, Case{106026, 10, 2209, 46, 46, 42}}) {
    MemoryFile file = build(countingKeys(c.keys, c.width), c.width);
    std::vector<PageInfo> p = pages(file, c.width);
    int leaves = 0, inner = 0;
    for (const PageInfo& i : p) (i.leaf ? leaves : inner)++;
    EXPECT_EQ(leaves, c.leaves) << c.keys;
    EXPECT_EQ(inner, c.middle + 1) << c.keys;
    EXPECT_EQ(p.back().keys, c.rootKeys);
    EXPECT_EQ(p[p.size() - 2].keys, c.lastLeafKeys);  // written just before the root
    EXPECT_TRUE(p[p.size() - 2].leaf);
    NtxCheckReport r;
    std::vector<Entry> keys = inOrder(file, &r);
    EXPECT_EQ(keys.size(), size_t(c.keys));
    EXPECT_EQ(r.minLeafDepth, 2);
    EXPECT_EQ(r.maxLeafDepth, 3);
    EXPECT_FALSE(r.findings.empty());
  }
}

// Every key count up to a few thousand, at the smallest and a small page
// capacity, gives a sound tree holding every key once.
TEST(NtxBuild, EveryKeyCountGivesASoundTree) {
  for (int width : {256, 100, 30}) {
    for (int n = 0; n <= 2500; n += (width == 30 ? 7 : 1)) {
      MemoryFile file = build(countingKeys(n, width), width);
      NtxCheckReport r = checkNtx(file);
      ASSERT_TRUE(r.ok) << "width " << width << " keys " << n << ": " << r.damage.front();
      ASSERT_EQ(r.keyCount, uint64_t(n)) << "width " << width;
      ASSERT_EQ(r.filePages, 1 + r.treePages) << "width " << width << " keys " << n;
    }
  }
}

std::vector<Entry> randomEntries(int n, int width, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint32_t> records(n);
  std::iota(records.begin(), records.end(), 1u);
  std::shuffle(records.begin(), records.end(), rng);
  // Few distinct bytes make many duplicates; bytes above 127 check unsigned order.
  const std::string alphabet = "A B\xe9\x01";
  std::uniform_int_distribution<int> pick(0, int(alphabet.size()) - 1);
  std::vector<Entry> out(n);
  const int varying = std::min(width, 8);
  for (int i = 0; i < n; ++i) {
    out[i].record = records[i];
    out[i].key.assign(width, 'k');
    for (int j = 0; j < varying; ++j) out[i].key[width - varying + j] = alphabet[pick(rng)];
  }
  return out;
}

std::vector<Entry> expectedOrder(std::vector<Entry> in, bool unique) {
  std::stable_sort(in.begin(), in.end(), [](const Entry& a, const Entry& b) {
    return std::memcmp(a.key.data(), b.key.data(), a.key.size()) < 0;
  });
  if (unique)
    in.erase(std::unique(in.begin(), in.end(), [](const Entry& a, const Entry& b) { return a.key == b.key; }),
             in.end());
  return in;
}

bool sameEntries(const std::vector<Entry>& a, const std::vector<Entry>& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const Entry& x, const Entry& y) {
           return x.record == y.record && x.key == y.key;
         });
}

TEST(NtxBuild, RandomKeysComeBackInKeyThenInputOrder) {
  struct Case {
    int keys, width;
  };
  unsigned seed = 7;
  for (Case c : {Case{200000, 6}, {50000, 10}, {20000, 30}, {3000, 256}, {5000, 1}}) {
    std::vector<Entry> in = randomEntries(c.keys, c.width, seed++);
    for (bool unique : {false, true}) {
      MemoryFile file = build(in, c.width, {.unique = unique});
      ASSERT_TRUE(sameEntries(inOrder(file), expectedOrder(in, unique)))
          << c.keys << " keys of width " << c.width << (unique ? " unique" : "");
    }
  }
}

TEST(NtxBuild, SpilledRunsGiveTheSameFileAsOneSortInMemory) {
  for (int width : {6, 30}) {
    std::vector<Entry> in = randomEntries(30000, width, 99);
    for (bool unique : {false, true}) {
      MemoryFile inMemory = build(in, width, {.unique = unique});
      MemoryFile spilled;
      KeySorter sorter(width, unique, false, 16 * 1024);
      for (const Entry& e : in) sorter.add(e.record, reinterpret_cast<const uint8_t*>(e.key.data()));
      NtxHeader header = NtxHeader::forNewOrder(width, 0, "key");
      header.unique = unique;
      ASSERT_TRUE(writeIndexTree(spilled, header, sorter));
      EXPECT_GT(sorter.spilledRuns(), 20u);
      EXPECT_TRUE(spilled.bytes == inMemory.bytes) << "width " << width << (unique ? " unique" : "");
    }
  }
}

TEST(NtxBuild, DescendingSortReversesKeysButNotTheOrderOfEqualOnes) {
  KeySorter sorter(2, false, true);
  for (Entry e : std::vector<Entry>{{1, "AA"}, {2, "BB"}, {3, "AA"}, {4, "\xff\x01"}, {5, "BB"}})
    sorter.add(e.record, reinterpret_cast<const uint8_t*>(e.key.data()));
  ASSERT_TRUE(sorter.finish());
  std::vector<uint32_t> records;
  uint32_t rec;
  const uint8_t* key;
  while (sorter.next(rec, key)) records.push_back(rec);
  EXPECT_EQ(records, (std::vector<uint32_t>{4, 2, 5, 1, 3}));
}

// A write that fails is a failed build, not a silent short file.
TEST(NtxBuild, FailedWriteFailsTheBuild) {
  struct FullDisk : MemoryFile {
    int64_t writeAt(uint64_t offset, const void* buf, std::size_t n) override {
      return offset + n > 64 * 1024 ? -1 : MemoryFile::writeAt(offset, buf, n);
    }
  };
  for (int keys : {0, 5000, 100000}) {
    FullDisk file;
    KeySorter sorter(6, false);
    for (const Entry& e : countingKeys(keys)) sorter.add(e.record, reinterpret_cast<const uint8_t*>(e.key.data()));
    NtxHeader header = NtxHeader::forNewOrder(6, 0, "KEY");
    EXPECT_EQ(writeIndexTree(file, header, sorter), keys == 0) << keys;
  }
}

TEST(NtxBuild, BudgetComesFromTheRunSettings) {
  rt().reset();
  rt().settings.indexSortBudget = 8 * 1024;
  KeySorter sorter(6, false);
  for (const Entry& e : countingKeys(5000)) sorter.add(e.record, reinterpret_cast<const uint8_t*>(e.key.data()));
  EXPECT_GT(sorter.spilledRuns(), 5u);
  ASSERT_TRUE(sorter.finish());
  EXPECT_EQ(sorter.keyCount(), 5000u);
  rt().reset();
}

TEST(NtxBuild, NoScratchFileIsFatal) {
  rt().reset();
  const char* old = std::getenv("TEMP");
  std::string saved = old ? old : "";
  setenv("TEMP", "/nonexistent/folder/for/scratch", 1);
  int code = 0;
  std::string text;
  rt().fatalHook = [&](int c, const std::string& t) {
    code = c;
    text = t;
  };
  KeySorter sorter(6, false, false, 1024);
  auto addAll = [&] {
    for (const Entry& e : countingKeys(200)) sorter.add(e.record, reinterpret_cast<const uint8_t*>(e.key.data()));
  };
  EXPECT_THROW(addAll(), ProgramExit);
  EXPECT_EQ(code, 9000);
  EXPECT_EQ(text, "Cannot create temp file");
  if (old)
    setenv("TEMP", saved.c_str(), 1);
  else
    unsetenv("TEMP");
  rt().reset();
}

}  // namespace
}  // namespace talvor::ntx
