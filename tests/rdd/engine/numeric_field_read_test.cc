// Numeric fields are read through a shortcut for the text the engine writes; it
// must give exactly the value of the general conversion (VAL) for any text.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "rdd/dbf_format.h"
#include "services/conversions.h"

namespace talvor {
namespace {

dbf::FieldDef numericField(uint32_t length, uint8_t decimals) {
  dbf::FieldDef f;
  f.name = "N";
  f.fileType = 'N';
  f.kind = dbf::FieldKind::Numeric;
  f.length = length;
  f.decimals = decimals;
  f.offset = 1;
  return f;
}

// The field's value against VAL of the same text: the same kind of number and the
// same bits (so -0.0 and 0.0 differ).
void expectReadsAsVal(const std::string& text, uint8_t decimals) {
  const dbf::FieldDef f = numericField(static_cast<uint32_t>(text.size()), decimals);
  const Value v = dbf::decodeField(f, reinterpret_cast<const uint8_t*>(text.data()));
  const Number expected = parseVal(text);
  ASSERT_TRUE(v.isNumber()) << '"' << text << '"';
  const double got = v.asDouble(), want = expected.asDouble();
  EXPECT_EQ(std::memcmp(&got, &want, sizeof got), 0) << '"' << text << "\" read " << got << ", VAL " << want;
  if (decimals == 0 && text.size() < 10) {
    EXPECT_EQ(v.asNumber().isDouble, expected.isDouble) << '"' << text << '"';
  }
}

TEST(NumericFieldRead, AgreesWithValOnUnusualTexts) {
  const char* texts[] = {"   -0.00", "  .5", "5.", "-", " ", "   ", "1.2.3", " +12", "12 ", "\t12", "-.", "  .",
                         "0.1", "1234567890123456", "123456789012345", "-99999999.99", "1e5", "--1", " - 12",
                         "*****", "00012", "9007199254740993", "0.000000000000001", "12,5"};
  for (const char* t : texts) {
    for (uint8_t decimals : {0, 2}) expectReadsAsVal(t, decimals);
  }
}

TEST(NumericFieldRead, AgreesWithValOnWrittenAndRandomTexts) {
  std::mt19937_64 rng(7);
  for (int i = 0; i < 200000; ++i) {
    const int width = 1 + static_cast<int>(rng() % 20);
    const int decimals = width > 2 ? static_cast<int>(rng() % std::min(width - 1, 8)) : 0;
    std::string text;
    if (i % 2 == 0) {
      // As written by the engine.
      Number n;
      n.isDouble = true;
      n.real = std::ldexp(static_cast<double>(static_cast<int64_t>(rng() % 2000001) - 1000000), -static_cast<int>(rng() % 20));
      text = formatNumber(n, width, decimals);
    } else {
      // Any digits, blanks, signs and points.
      const char alphabet[] = "0123456789  .-";
      for (int k = 0; k < width; ++k) text.push_back(alphabet[rng() % (sizeof alphabet - 1)]);
    }
    expectReadsAsVal(text, static_cast<uint8_t>(decimals));
    if (HasFailure()) return;
  }
}

}  // namespace
}  // namespace talvor
