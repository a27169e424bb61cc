// Key bytes of run-time values; needs the value conversions (STR).
#if __has_include("services/conversions.h") && __has_include("services/dates.h")
#include "rdd/dbfntx/ntx_key_value.h"

#include <gtest/gtest.h>

#include <string>

namespace talvor::ntx {
namespace {

TEST(NtxKeyValue, NumericKeysOfNumbers) {
  struct Case {
    Value value;
    int width, decimals;
    const char* key;
  };
  for (const Case& c : {Case{Value::integer(5), 6, 0, "000005"}, Case{Value::integer(0), 6, 0, "000000"},
                        Case{Value::integer(-5), 6, 0, ",,,,,'"}, Case{Value::integer(-4), 6, 0, ",,,,,("},
                        Case{Value::integer(-99999), 6, 0, ",#####"}, Case{Value::real(12.5, 6, 1), 6, 1, "0012.5"},
                        Case{Value::real(-12.5, 6, 1), 6, 1, ",,+*.'"},
                        Case{Value::integer(1234567), 6, 0, "******"}}) {
    std::string key;
    ASSERT_TRUE(keyBytesOf(c.value, {KeyType::Numeric, c.width, c.decimals}, key));
    EXPECT_EQ(key, c.key) << c.key;
  }
}

TEST(NtxKeyValue, ShapesFixedByTheFirstValue) {
  auto shape = [](const Value& v) { return keyShapeOf(v); };
  EXPECT_EQ(shape(Value::real(1.5, 5, 2))->width, 8);  // a value read from N(8,2)
  EXPECT_EQ(shape(Value::real(1.5, 8, 2))->decimals, 2);
  EXPECT_EQ(shape(Value::real(1.5, 8, 2))->type, KeyType::Numeric);
  EXPECT_EQ(shape(Value::date(1))->type, KeyType::Date);
  EXPECT_EQ(shape(Value::date(1))->width, 8);
  EXPECT_EQ(shape(Value::logical(true))->type, KeyType::Character);
  EXPECT_EQ(shape(Value::logical(true))->width, 1);
  EXPECT_EQ(shape(Value::text(std::string(300, 'x')))->width, 256);
  EXPECT_EQ(shape(Value::text(""))->width, 0);
  EXPECT_FALSE(shape(Value()).has_value());
  EXPECT_FALSE(shape(Value::array()).has_value());

  std::string key;
  ASSERT_TRUE(keyBytesOf(Value::logical(false), {KeyType::Character, 1, 0}, key));
  EXPECT_EQ(key, "F");
  ASSERT_TRUE(keyBytesOf(Value::text(std::string(300, 'x')), {KeyType::Character, 256, 0}, key));
  EXPECT_EQ(key.size(), 256u);
  ASSERT_TRUE(soughtKeyOf(Value::text("ABCDEFGH"), {KeyType::Character, 6, 0}, key));
  EXPECT_EQ(key, "ABCDEF");
  ASSERT_TRUE(soughtKeyOf(Value::text("AB"), {KeyType::Character, 6, 0}, key));
  EXPECT_EQ(key, "AB");
  EXPECT_FALSE(keyBytesOf(Value(), {KeyType::Character, 6, 0}, key));
}

}  // namespace
}  // namespace talvor::ntx
#endif
