#include "rdd/dbf_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "services/dates.h"

namespace talvor::dbf {
namespace {

FieldDef field(const char* name, const char* type, int length, int decimals = 0) {
  FieldDef f;
  std::string problem;
  EXPECT_TRUE(fieldFromSpec({name, type, length, decimals}, f, problem)) << problem;
  return f;
}

TEST(DbfFormat, EmptyTableWithOneCharacterFieldIs67Bytes) {
  std::vector<FieldDef> fields = {field("name", "c", 10)};
  Header h;
  h.recordLength = static_cast<uint16_t>(layoutFields(fields));
  h.headerLength = static_cast<uint16_t>(kHeaderSize + kDescriptorSize * fields.size() + 2);
  const std::vector<uint8_t> image = newTableImage(h, fields);
  ASSERT_EQ(image.size(), 67u);
  EXPECT_EQ(image[0], 0x03);
  EXPECT_EQ(image[8] | (image[9] << 8), 66);
  EXPECT_EQ(image[10] | (image[11] << 8), 11);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.data() + 32), 4), std::string("NAME"));
  EXPECT_EQ(image[32 + 11], 'C');
  EXPECT_EQ(image[32 + 16], 10);
  EXPECT_EQ(image[64], 0x0D);
  EXPECT_EQ(image[65], 0x00);
  EXPECT_EQ(image[66], 0x1A);
}

TEST(DbfFormat, DescriptorRules) {
  const FieldDef wide = field("TEXT", "C", 44, 1);
  EXPECT_EQ(wide.length, 300u);
  uint8_t d[32];
  encodeDescriptor(wide, d);
  EXPECT_EQ(d[16], 44);
  EXPECT_EQ(d[17], 1);
  std::vector<FieldDef> back;
  std::string problem;
  uint8_t area[33];
  std::copy(d, d + 32, area);
  area[32] = kHeaderTerminator;
  ASSERT_TRUE(decodeDescriptors(area, 33, kVersionPlain, back, problem));
  EXPECT_EQ(back[0].length, 300u);

  FieldDef f;
  EXPECT_FALSE(fieldFromSpec({"N", "N", 300, 0}, f, problem));
  EXPECT_FALSE(fieldFromSpec({"X", "Q", 5, 0}, f, problem));
  const FieldDef floating = field("F", "f", 8, 2);
  EXPECT_EQ(floating.fileType, 'N');
  EXPECT_EQ(floating.reportedType(), 'N');
  EXPECT_EQ(field("D", "D", 5).length, 8u);
  EXPECT_EQ(field("D3", "D", 3).length, 3u);
  EXPECT_EQ(field("M", "M", 0).length, 10u);
  EXPECT_EQ(field("I", "2", 0).length, 2u);
  EXPECT_EQ(field("B", "8", 0).fileType, 'B');
}

TEST(DbfFormat, UnknownTypeOrNoDescriptorIsAProblem) {
  uint8_t bytes[64] = {};
  std::memcpy(bytes, "ODD", 3);
  bytes[11] = 'Q';
  bytes[32] = kHeaderTerminator;
  std::vector<FieldDef> fields;
  std::string problem;
  EXPECT_FALSE(decodeDescriptors(bytes, sizeof bytes, kVersionPlain, fields, problem));
  bytes[0] = kHeaderTerminator;
  EXPECT_FALSE(decodeDescriptors(bytes, sizeof bytes, kVersionPlain, fields, problem));
}

TEST(DbfFormat, NumericEncodings) {
  struct Case {
    Value v;
    int length, decimals;
    const char* bytes;
    EncodeResult result;
  };
  const Case cases[] = {
      {Value::real(1234.5), 6, 2, "******", EncodeResult::TooWide},
      {Value::real(12.5), 6, 2, " 12.50", EncodeResult::Ok},
      {Value::integer(-3), 4, 0, "  -3", EncodeResult::Ok},
  };
  for (const auto& c : cases) {
    const FieldDef f = field("N", "N", c.length, c.decimals);
    std::string bytes(static_cast<std::size_t>(c.length), '?');
    EXPECT_EQ(encodeField(f, c.v, reinterpret_cast<uint8_t*>(bytes.data())), c.result);
    EXPECT_EQ(bytes, c.bytes);
  }
  const FieldDef c5 = field("C", "C", 5);
  std::string text(5, '?');
  encodeField(c5, Value::text("ABCDEFG"), reinterpret_cast<uint8_t*>(text.data()));
  EXPECT_EQ(text, "ABCDE");
  encodeField(c5, Value::text("AB"), reinterpret_cast<uint8_t*>(text.data()));
  EXPECT_EQ(text, "AB   ");
  EXPECT_EQ(encodeField(c5, Value::integer(1), reinterpret_cast<uint8_t*>(text.data())), EncodeResult::WrongKind);
  EXPECT_EQ(text, "AB   ");
}

TEST(DbfFormat, DecodingByKind) {
  const FieldDef n62 = field("N", "N", 6, 2);
  const Value v = decodeField(n62, reinterpret_cast<const uint8_t*>(" 12.50"));
  EXPECT_DOUBLE_EQ(v.asDouble(), 12.5);
  EXPECT_EQ(v.asNumber().width, 3);
  EXPECT_EQ(v.asNumber().decimals, 2);
  EXPECT_EQ(decodeField(field("N", "N", 4), reinterpret_cast<const uint8_t*>("    ")).asDouble(), 0);
  const FieldDef l = field("L", "L", 1);
  EXPECT_TRUE(decodeField(l, reinterpret_cast<const uint8_t*>("Y")).asLogical());
  EXPECT_FALSE(decodeField(l, reinterpret_cast<const uint8_t*>("N")).asLogical());
  EXPECT_FALSE(decodeField(l, reinterpret_cast<const uint8_t*>(" ")).asLogical());
  const FieldDef d = field("D", "D", 8);
  EXPECT_EQ(decodeField(d, reinterpret_cast<const uint8_t*>("20120214")).asDay(), dayFromYmd(2012, 2, 14));
  EXPECT_EQ(decodeField(d, reinterpret_cast<const uint8_t*>("20120230")).asDay(), 0);
  const FieldDef i2 = field("I", "I", 2);
  uint8_t small[2];
  EXPECT_EQ(encodeField(i2, Value::integer(40000), small), EncodeResult::TooWide);
  EXPECT_EQ(encodeField(i2, Value::integer(-2), small), EncodeResult::Ok);
  EXPECT_EQ(decodeField(i2, small).asDouble(), -2);
}

TEST(DbfFormat, HeaderRewriteZeroesReservedBytes) {
  uint8_t bytes[32];
  std::memset(bytes, 0, sizeof bytes);
  bytes[0] = kVersionPlain;
  bytes[14] = 0x55;
  bytes[28] = 0xFF;
  bytes[29] = 0x57;
  const Header h = decodeHeader(bytes);
  EXPECT_TRUE(h.productionIndex);
  uint8_t out[32];
  encodeHeader(h, out);
  EXPECT_EQ(out[14], 0);
  EXPECT_EQ(out[28], 1);  // the memo bit only for version 0x30
  EXPECT_EQ(out[29], 0x57);
}

}  // namespace
}  // namespace talvor::dbf
