#include "rdd/dbfntx/ntx_check.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "rdd/dbfntx/memory_file.h"
#include "rdd/dbfntx/ntx_build.h"

namespace talvor::ntx {
namespace {

using testing::MemoryFile;

// 1000 keys of width 6: 17 leaves at 1024..17408, the root at 18432.
MemoryFile thousandKeys() {
  MemoryFile file;
  KeySorter sorter(6, false);
  for (int i = 1; i <= 1000; ++i) {
    std::string k = std::to_string(i);
    k.insert(0, 6 - k.size(), '0');
    sorter.add(uint32_t(i), reinterpret_cast<const uint8_t*>(k.data()));
  }
  NtxHeader header = NtxHeader::forNewOrder(6, 0, "STR(MATL_NO,6)");
  EXPECT_TRUE(writeIndexTree(file, header, sorter));
  return file;
}

constexpr uint32_t kRoot = 18432;

uint8_t* itemOf(MemoryFile& f, uint32_t page, int i) { return &f.bytes[page + f.u16(page + 2 + 2 * i)]; }

TEST(NtxCheck, SoundFileReport) {
  MemoryFile file = thousandKeys();
  NtxCheckReport r = checkNtx(file);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.keyCount, 1000u);
  EXPECT_EQ(r.treePages, 18u);
  EXPECT_EQ(r.filePages, 19u);
  EXPECT_EQ(r.minLeafDepth, 2);
  EXPECT_EQ(r.maxLeafDepth, 2);
  EXPECT_TRUE(r.findings.empty());
  std::ostringstream text;
  printCheckReport(r, text);
  EXPECT_NE(text.str().find("key expression \"STR(MATL_NO,6)\""), std::string::npos);
  EXPECT_NE(text.str().find("keys 1000\n"), std::string::npos);
  EXPECT_EQ(text.str().substr(text.str().size() - 3), "OK\n");
}

TEST(NtxCheck, DamageIsReported) {
  struct Case {
    const char* name;
    std::function<void(MemoryFile&)> damage;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"short header", [](MemoryFile& f) { f.bytes.resize(551); }, "header shorter"},
      {"root not a page offset", [](MemoryFile& f) { storeU32(&f.bytes[4], 1500); }, "not a multiple of 1024"},
      {"root outside the file", [](MemoryFile& f) { storeU32(&f.bytes[4], 1u << 30); }, "outside the file"},
      {"item size", [](MemoryFile& f) { storeU16(&f.bytes[12], 15); }, "item size"},
      {"max keys too big", [](MemoryFile& f) { storeU16(&f.bytes[18], 400); }, "do not fit"},
      {"key width 0", [](MemoryFile& f) { storeU16(&f.bytes[14], 0); }, "key width"},
      {"count above max", [](MemoryFile& f) { storeU16(&f.bytes[2048], 63); }, "above the maximum"},
      {"item outside page", [](MemoryFile& f) { storeU16(&f.bytes[2048 + 2 + 4], 1015); }, "outside the page"},
      {"child outside file", [](MemoryFile& f) { storeU32(itemOf(f, kRoot, 3), 1u << 24); }, "outside the file"},
      {"child cycle", [](MemoryFile& f) { storeU32(itemOf(f, kRoot, 2), kRoot); }, "reached twice"},
      {"leaf made inner with a loop", [](MemoryFile& f) { for (int i = 0; i <= 58; ++i) storeU32(itemOf(f, 1024, i), 1024); }, "reached twice"},
      {"keys out of order", [](MemoryFile& f) { itemOf(f, 1024, 0)[8] = '9'; }, "out of order"},
      {"record twice", [](MemoryFile& f) { storeU32(itemOf(f, 1024, 1) + 4, 1); }, "more than one key"},
      {"root cut short", [](MemoryFile& f) { f.bytes.resize(kRoot + 600); }, "outside the file"},
      {"free list cycle", [](MemoryFile& f) {
         f.bytes.resize(f.bytes.size() + 1024);
         PageView(&f.bytes[19456], 6, 62).format();
         storeU32(&f.bytes[19456 + 128], 19456);
         storeU32(&f.bytes[8], 19456); }, "cycle"},
      {"free page in the tree", [](MemoryFile& f) { storeU32(&f.bytes[8], 1024); }, "in the tree"},
  };
  for (const Case& c : cases) {
    MemoryFile file = thousandKeys();
    c.damage(file);
    NtxCheckReport r = checkNtx(file);
    EXPECT_FALSE(r.ok) << c.name;
    std::string all;
    for (const std::string& d : r.damage) all += d + "\n";
    EXPECT_NE(all.find(c.expected), std::string::npos) << c.name << ": " << all;
  }
}

TEST(NtxCheck, FindingsAreNotDamage) {
  MemoryFile file = thousandKeys();
  file.bytes.resize(file.bytes.size() + 1500);  // an unused page and a partial one
  storeU16(&file.bytes[0], 7);                  // signature with a condition flag
  NtxCheckReport r = checkNtx(file);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.findings.size(), 2u);
}

// Random damage anywhere in the file never crashes or hangs the checker.
TEST(NtxCheck, RandomDamageNeverCrashes) {
  const MemoryFile sound = thousandKeys();
  std::mt19937 rng(12345);
  std::uniform_int_distribution<std::size_t> where(0, sound.bytes.size() - 1);
  std::uniform_int_distribution<int> byte(0, 255), edits(1, 40);
  int damaged = 0;
  for (int round = 0; round < 1500; ++round) {
    MemoryFile file = sound;
    for (int e = edits(rng); e > 0; --e) {
      std::size_t at = where(rng);
      // Mostly hit page headers and offset tables, where damage bites hardest.
      if (round % 2 == 0) at = (at & ~std::size_t(1023)) + (at % 130);
      file.bytes[at] = static_cast<uint8_t>(byte(rng));
    }
    if (round % 7 == 0) file.bytes.resize(where(rng));
    NtxCheckReport r = checkNtx(file);
    damaged += r.ok ? 0 : 1;
  }
  EXPECT_GT(damaged, 1000);
}

}  // namespace
}  // namespace talvor::ntx
