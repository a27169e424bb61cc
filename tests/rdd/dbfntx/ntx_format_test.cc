#include "rdd/dbfntx/ntx_format.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace talvor::ntx {
namespace {

TEST(NtxFormat, MaxKeysPerPageByWidth) {
  struct Case {
    int width, maxKeys;
  };
  for (Case c : {Case{1, 90}, {6, 62}, {8, 54}, {10, 48}, {20, 32}, {30, 24}, {100, 8}, {200, 2}, {256, 2}})
    EXPECT_EQ(maxKeysPerPage(c.width), c.maxKeys) << "width " << c.width;
  for (int w = 1; w <= kMaxKeyWidth; ++w) {
    int m = maxKeysPerPage(w);
    EXPECT_TRUE(m >= 2 && m % 2 == 0) << w;
    EXPECT_TRUE(pageLayoutFits(w, m)) << w;
  }
  EXPECT_FALSE(pageLayoutFits(6, 63 + 10));
  EXPECT_FALSE(pageLayoutFits(0, 2));
}

TEST(NtxFormat, FullHeaderOfNewOrder) {
  NtxHeader h = NtxHeader::forNewOrder(30, 0, "ph1 + ph2 + ph3");
  h.rootPage = 0x12345400;
  h.freeListHead = 2048;
  std::array<uint8_t, kPageSize> page;
  page.fill(0xEE);
  encodeHeader(h, page.data());

  const std::vector<uint8_t> head = {6, 0, 1, 0, 0x00, 0x54, 0x34, 0x12, 0, 8, 0, 0, 38, 0, 30, 0,
                                     0, 0, 24, 0, 12, 0};
  EXPECT_EQ(std::vector<uint8_t>(page.begin(), page.begin() + 22), head);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&page[22])), "PH1 + PH2 + PH3");
  for (std::size_t i = 22 + 15; i < kPageSize; ++i) ASSERT_EQ(page[i], 0) << "byte " << i;

  std::array<uint8_t, kShortHeaderSize> shortForm;
  encodeShortHeader(h, shortForm.data());
  EXPECT_TRUE(std::equal(shortForm.begin(), shortForm.end(), page.begin()));

  NtxHeader back;
  ASSERT_TRUE(decodeHeader(page.data(), kHeaderFieldsSize, back));
  EXPECT_EQ(back.keyExpression, "PH1 + PH2 + PH3");
  EXPECT_EQ(back.rootPage, h.rootPage);
  EXPECT_EQ(back.maxKeys, 24);
  EXPECT_FALSE(decodeHeader(page.data(), kHeaderFieldsSize - 1, back));
}

TEST(NtxFormat, HeaderTextsAreCutToTheirFields) {
  NtxHeader h = NtxHeader::forNewOrder(6, 0, std::string(300, 'k'));
  h.condition = std::string(300, 'c');
  h.orderName = "averyverylongname";
  h.unique = 1;
  h.custom = 1;
  std::array<uint8_t, kPageSize> page;
  encodeHeader(h, page.data());
  EXPECT_EQ(page[22 + 255], 0);
  EXPECT_EQ(page[282 + 255], 0);
  EXPECT_EQ(page[538 + 11], 0);
  EXPECT_EQ(page[278], 1);
  EXPECT_EQ(page[550], 1);
  NtxHeader back;
  ASSERT_TRUE(decodeHeader(page.data(), kPageSize, back));
  EXPECT_EQ(back.keyExpression, std::string(255, 'K'));
  EXPECT_EQ(back.condition, std::string(255, 'c'));
  EXPECT_EQ(back.orderName, "averyverylo");
}

TEST(NtxFormat, UpperCasingTouchesOnlyAsciiLetters) {
  EXPECT_EQ(upperKeyExpression("str(matl_no,6)"), "STR(MATL_NO,6)");
  EXPECT_EQ(upperKeyExpression("a\x84z{`"), "A\x84Z{`");
}

TEST(NtxFormat, NumericKeyEncoding) {
  struct Case {
    const char* str;  // what STR gives
    const char* key;
  };
  for (Case c : {Case{"     5", "000005"}, {"     0", "000000"}, {"    -5", ",,,,,'"}, {"    -4", ",,,,,("},
                 {"-99999", ",#####"}, {"  12.5", "0012.5"}, {" -12.5", ",,+*.'"}, {"******", "******"},
                 {"-1234567890", ",+*)('&%$#,"}})
    EXPECT_EQ(numericKeyFromText(c.str), c.key) << c.str;

  // Byte order follows numeric order.
  std::vector<std::string> ascending = {"-99999", "   -12", "    -5", "    -4", "     0", "     5", "   120"};
  for (std::size_t i = 1; i < ascending.size(); ++i)
    EXPECT_LT(numericKeyFromText(ascending[i - 1]), numericKeyFromText(ascending[i])) << ascending[i];
}

TEST(NtxFormat, SeekComparison) {
  struct Case {
    const char* sought;
    const char* key;
    bool exact;
    int expected;
  };
  for (Case c : {Case{"AB", "ABC", false, 0}, {"AB", "ABC", true, -1}, {"ABX", "ABC", false, 1},
                 {"12", "12    ", true, 0}, {"12  ", "12", false, 0}, {"12 x", "12", false, 1},
                 {"", "ABC", false, -1}, {"A", "", false, 1}, {"ABC", "ABC", true, 0}, {"AA", "AB", false, -1},
                 {"\xe0", "a", false, 1}}) {
    EXPECT_EQ(seekCompare(c.sought, c.key, c.exact, false), c.expected) << c.sought << " / " << c.key;
    EXPECT_EQ(seekCompare(c.sought, c.key, c.exact, true), -c.expected) << c.sought << " / " << c.key;
  }
}

class PageViewTest : public ::testing::Test {
 protected:
  std::array<uint8_t, kPageSize> data{};
  PageView page{data.data(), 6, maxKeysPerPage(6)};

  std::vector<std::string> keys() const {
    std::vector<std::string> out;
    for (int i = 0; i < page.keyCount(); ++i) out.emplace_back(reinterpret_cast<const char*>(page.key(i)), 6);
    return out;
  }
  void insert(int p, const char* key, uint32_t rec) {
    page.insertItem(p, 0, rec, reinterpret_cast<const uint8_t*>(key));
  }
};

TEST_F(PageViewTest, FormatLaysOutTheOffsetTable) {
  data.fill(0xAA);
  page.format();
  EXPECT_EQ(page.keyCount(), 0);
  EXPECT_EQ(page.itemOffset(0), 128);
  EXPECT_EQ(page.itemOffset(62), 128 + 62 * 14);
  EXPECT_TRUE(page.isLeaf());
  EXPECT_TRUE(page.itemsInBounds());
  EXPECT_EQ(data[1023], 0);
}

TEST_F(PageViewTest, InsertAndRemoveRotateOffsetsWithoutMovingItems) {
  page.format();  // entries 128, 142, 156, 170, ...
  insert(0, "BBBBBB", 2);  // the spare entry 1 (142) takes position 0; 128 moves up
  insert(0, "AAAAAA", 1);  // spare 156 to position 0
  insert(1, "ABABAB", 3);  // spare 170 to position 1
  EXPECT_EQ(keys(), (std::vector<std::string>{"AAAAAA", "ABABAB", "BBBBBB"}));
  EXPECT_EQ(std::vector<int>({page.itemOffset(0), page.itemOffset(1), page.itemOffset(2), page.itemOffset(3),
                              page.itemOffset(4)}),
            std::vector<int>({156, 170, 142, 128, 184}));
  EXPECT_EQ(page.record(1), 3u);

  page.removeItem(0);  // its entry becomes the spare after the rightmost item
  EXPECT_EQ(keys(), (std::vector<std::string>{"ABABAB", "BBBBBB"}));
  EXPECT_EQ(page.itemOffset(2), 128);
  EXPECT_EQ(page.itemOffset(3), 156);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&data[156 + 8]), 6), "AAAAAA");  // bytes stay
  insert(2, "CCCCCC", 4);
  EXPECT_EQ(page.itemOffset(2), 156);
  EXPECT_EQ(page.itemOffset(3), 128);
  EXPECT_EQ(keys(), (std::vector<std::string>{"ABABAB", "BBBBBB", "CCCCCC"}));
}

TEST_F(PageViewTest, FullPageAndDamagedOffsetsAreRefusedSafely) {
  page.format();
  for (int i = 0; i < page.maxKeys(); ++i) insert(i, "KKKKKK", uint32_t(i + 1));
  insert(0, "AAAAAA", 99);  // full: ignored
  EXPECT_EQ(page.keyCount(), 62);
  EXPECT_EQ(page.record(0), 1u);

  storeU16(data.data() + 2, 1020);  // item 0 would run past the page
  EXPECT_FALSE(page.itemsInBounds());
  EXPECT_EQ(page.key(0), nullptr);
  EXPECT_EQ(page.child(0), 0u);
  page.setItem(0, 5, reinterpret_cast<const uint8_t*>("ZZZZZZ"));  // no write outside
  page.setKeyCount(500);
  EXPECT_FALSE(page.itemsInBounds());
}

}  // namespace
}  // namespace talvor::ntx
