#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "services/arith.h"
#include "services/cipher.h"
#include "services/conversions.h"
#include "services/dates.h"
#include "services/functions.h"
#include "services/runtime.h"

namespace talvor {
namespace {

Number real(double v) { return Value::real(v).asNumber(); }
Number whole(int64_t v) { return Value::integer(v).asNumber(); }

TEST(Str, DigitGenerationAndRounding) {
  struct Case {
    Number n;
    int width, decimals;
    const char* expected;
  };
  const Case cases[] = {
      {real(12.345), 7, 2, "  12.35"}, {real(2.675), 7, 2, "   2.68"},  {real(1.005), 6, 2, "  1.01"},
      {real(0.125), 7, 2, "   0.13"},  {real(-5.25), 7, 2, "  -5.25"},  {real(-0.005), 7, 2, "  -0.01"},
      {real(-0.004), 7, 2, "   0.00"}, {real(1234.5), 7, 2, "1234.50"}, {real(-999.5), 7, 2, "-999.50"},
      {real(12345.5), 7, 2, "*******"}, {whole(-1000), 7, 2, "*******"}, {real(-1000), 7, 2, "*******"},
      {real(99.995), 7, 2, " 100.00"}, {whole(0), 6, 0, "     0"},      {whole(123456), 6, 0, "123456"},
      {whole(-12345), 6, 0, "-12345"}, {whole(1234567), 6, 0, "******"}, {real(12345.5), 6, 0, " 12346"},
      {real(-0.5), 6, 0, "    -1"},    {real(-0.4), 6, 0, "     0"},     {whole(12), 7, 2, "  12.00"},
      {real(12.5), 6, 2, " 12.50"},    {real(1234.5), 6, 2, "******"},    {whole(-3), 4, 0, "  -3"},
      {real(5), 2, 2, "**"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(formatNumber(c.n, c.width, c.decimals), c.expected) << c.n.asDouble() << " " << c.width << "," << c.decimals;
}

TEST(Str, CommandFormsAndDefaults) {
  EXPECT_EQ(STR(Value::integer(5), Value::integer(0)).asText(), "         5");  // width 0 counts as 10
  EXPECT_EQ(STR(Value::real(5.5), Value::integer(4), Value::integer(-1)).asText(), "   6");
  EXPECT_EQ(STR(VAL(Value::text("12.50"))).asText(), "12.50");
  EXPECT_EQ(STR(Value::integer(42)).asText(), "        42");
  EXPECT_EQ(STRZERO(Value::integer(-5), Value::integer(4)).asText(), "-005");
}

TEST(Str, NeverCrashesAndKeepsTheWidth) {
  const bool sanitized = std::getenv("TALVOR_SANITIZED") != nullptr;
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> mantissa(-1, 1);
  std::uniform_int_distribution<int> exponent(-20, 25), width(1, 40), dec(0, 20);
  const int rounds = sanitized ? 100000 : 1000000;
  for (int i = 0; i < rounds; ++i) {
    const double v = mantissa(rng) * std::pow(10.0, exponent(rng));
    const int w = width(rng), d = dec(rng);
    const std::string s = formatNumber(real(v), w, d);
    ASSERT_EQ(s.size(), static_cast<std::size_t>(w)) << v << " " << w << "," << d;
  }
}

TEST(Val, WidthsAndDecimals) {
  struct Case {
    const char* text;
    double value;
    int width, decimals;
  };
  const Case cases[] = {
      {"   42", 42, 5, 0}, {"12-", 12, 3, 0}, {"- 5", 0, 3, 0},    {"", 0, 0, 0},      {"1.5.3", 1.5, 1, 3},
      {"1e3", 1, 3, 0},   {"12.50", 12.5, 2, 2}, {".5", 0.5, 1, 1}, {"-.5", -0.5, 2, 1}, {"7.", 7, 2, 0},
  };
  for (const auto& c : cases) {
    const Number n = parseVal(c.text);
    EXPECT_DOUBLE_EQ(n.asDouble(), c.value) << c.text;
    EXPECT_EQ(n.width, c.width) << c.text;
    EXPECT_EQ(n.decimals, c.decimals) << c.text;
  }
  EXPECT_FALSE(parseVal("42").isDouble);
  EXPECT_TRUE(parseVal("99999999999999999999").isDouble);  // past 64 bits
}

TEST(Ctod, FormatAndEpoch) {
  struct Case {
    const char* text;
    int y, m, d;  // 0 = the empty date
  };
  const Case cases[] = {
      {"25/12/2011", 2011, 12, 25}, {"25.12.11", 2011, 12, 25}, {"1/2/31", 2031, 2, 1},
      {"1/2/32", 1932, 2, 1},       {"31/02/2011", 0, 0, 0},    {"20111225", 0, 0, 0},
      {"", 0, 0, 0},                {"25 12 2011", 0, 0, 0},    {"29/02/2000", 2000, 2, 29},
      {"29/02/1900", 0, 0, 0},
  };
  for (const auto& c : cases) {
    const int64_t expected = c.y ? dayFromYmd(c.y, c.m, c.d) : 0;
    EXPECT_EQ(parseDate(c.text, "dd/mm/yy", 1932), expected) << c.text;
  }
  EXPECT_EQ(parseDate("12/25/2011", "mm/dd/yyyy", 1900), dayFromYmd(2011, 12, 25));
  EXPECT_EQ(dayFromYmd(2000, 1, 1), 2451545);
  EXPECT_EQ(dayToDigits(digitsToDay("20120214")), "20120214");
  EXPECT_EQ(dayToDigits(0), "        ");
}

TEST(Text, SubstrAtTrimEmpty) {
  auto before = [](const char* t) {
    const Value text = Value::text(t);
    return SUBSTR(text, Value::integer(1), minus(AT(Value::text("#"), text), Value::integer(1))).asText();
  };
  EXPECT_EQ(before("AB12#X"), "AB12");
  EXPECT_EQ(before("NOHASH"), "");
  EXPECT_EQ(before("#FIRST"), "");
  EXPECT_EQ(SUBSTR(Value::text("abcdef"), Value::integer(-2)).asText(), "ef");
  EXPECT_EQ(SUBSTR(Value::text("abcdef"), Value::integer(0), Value::integer(2)).asText(), "ab");
  EXPECT_EQ(SUBSTR(Value::text("abc"), Value::integer(5)).asText(), "");
  EXPECT_EQ(SUBSTR(Value::text("abc"), Value::integer(-9), Value::integer(2)).asText(), "ab");
  EXPECT_EQ(TRIM(Value::text(" a\t  ")).asText(), " a\t");
  EXPECT_EQ(ALLTRIM(Value::text("\t\r\n a  ")).asText(), "a");
  EXPECT_TRUE(EMPTY(Value::text(" \t\r\n")).asLogical());
  EXPECT_TRUE(EMPTY(Value()).asLogical());
  EXPECT_FALSE(EMPTY(Value::text(" x")).asLogical());
  EXPECT_EQ(ASC(Value::text("")).asDouble(), 0);
  EXPECT_EQ(ASC(Value::text("\xc8")).asDouble(), 200);
}

TEST(Cipher, ExamplesAndRoundTrip) {
  const std::string abc = encryptText("abc", nullptr);
  EXPECT_EQ(abc, std::string("\x62\xC2\x81"));
  const std::string empty;
  EXPECT_EQ(encryptText("abc", &empty), abc);  // an empty key is no key
  EXPECT_EQ(ENCRYPT(Value::text("")).asText(), "");
  EXPECT_EQ(ENCRYPT(Value::integer(5)).asText(), "");
  std::mt19937 rng(3);
  for (int round = 0; round < 2000; ++round) {
    std::string text(rng() % 601, '\0'), key(1 + rng() % 12, '\0');
    for (char& c : text) c = static_cast<char>(rng());
    for (char& c : key) c = static_cast<char>(rng());
    const std::string enc = encryptText(text, &key);
    ASSERT_EQ(enc.size(), text.size());
    ASSERT_EQ(decryptText(enc, &key), text);
  }
  const std::string text256(256, 'x');
  EXPECT_EQ(encryptText(text256, nullptr)[0], 'x');  // length byte 0, no rotation at 0
}

class ArgumentErrors : public ::testing::Test {
 protected:
  void SetUp() override {
    rt().reset();
    rt().errorHandler = [this](RuntimeError& e) {
      seen.push_back(e.operation);
      if (!answers.empty()) {
        ErrorAnswer a = answers.front();
        answers.erase(answers.begin());
        return a;
      }
      return ErrorAnswer{};
    };
  }
  void TearDown() override { rt().reset(); }
  std::vector<std::string> seen;
  std::vector<ErrorAnswer> answers;
};

TEST_F(ArgumentErrors, EveryFunctionRaisesForAKindItDoesNotTake) {
  const Value date = Value::date(1);
  const std::vector<std::pair<const char*, std::function<Value()>>> calls = {
      {"STR", [&] { return STR(Value::text("x")); }},
      {"VAL", [&] { return VAL(Value::integer(1)); }},
      {"CTOD", [&] { return CTOD(date); }},
      {"TRIM", [&] { return TRIM(Value()); }},
      {"ALLTRIM", [&] { return ALLTRIM(Value::integer(1)); }},
      {"SUBSTR", [&] { return SUBSTR(Value::text("x"), Value::text("1")); }},
      {"AT", [&] { return AT(Value::integer(1), Value::text("x")); }},
      {"ASC", [&] { return ASC(date); }},
      {"YEAR", [&] { return YEAR(Value::text("2011")); }},
  };
  for (const auto& [name, call] : calls) {
    seen.clear();
    EXPECT_TRUE(call().isNil()) << name;  // default answer: NIL
    EXPECT_EQ(seen, std::vector<std::string>{name});
  }
}

TEST_F(ArgumentErrors, RetryRaisesAgainAndSubstituteGivesTheResult) {
  answers = {ErrorAnswer{Answer::Retry, {}}, ErrorAnswer{Answer::Substitute, Value::text("sub")}};
  EXPECT_EQ(TRIM(Value::integer(3)).asText(), "sub");
  EXPECT_EQ(seen.size(), 2u);
}

TEST_F(ArgumentErrors, ZeroDivisorGivesTheSubstituteOrZero) {
  EXPECT_EQ(divide(Value::integer(5), Value::integer(0)).asDouble(), 0);
  answers = {ErrorAnswer{Answer::Substitute, Value::integer(7)}};
  EXPECT_EQ(divide(Value::integer(5), Value::real(0.0)).asDouble(), 7);
  EXPECT_EQ(seen, (std::vector<std::string>{"/", "/"}));
  EXPECT_DOUBLE_EQ(divide(Value::integer(60), Value::real(6.0)).asDouble(), 10);
}

}  // namespace
}  // namespace talvor
