// A number read from its own STR text gives that text again: a numeric field or
// an index key written from a value that was read from a field keeps its digits.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "services/conversions.h"
#include "services/functions.h"

namespace talvor {
namespace {

TEST(StrReadBack, EveryTextWithOneOrTwoDecimalsComesBackUnchanged) {
  struct Layout {
    int width, decimals;
    double scale;
  };
  for (const Layout& l : {Layout{6, 1, 10}, Layout{8, 2, 100}}) {
    int wrong = 0;
    std::string first;
    for (int k = -9999; k <= 99999; ++k) {
      char text[32];
      std::snprintf(text, sizeof text, "%*.*f", l.width, l.decimals, k / l.scale);
      const std::string got = formatNumber(VAL(Value::text(text)).asNumber(), l.width, l.decimals);
      if (got != text && wrong++ == 0) first = "\"" + std::string(text) + "\" gives \"" + got + "\"";
    }
    EXPECT_EQ(wrong, 0) << "width " << l.width << ", decimals " << l.decimals << ": first " << first;
  }
  EXPECT_EQ(STR(Value::real(7.3), Value::integer(6), Value::integer(1)).asText(), "   7.3");
  EXPECT_EQ(STR(Value::real(2.3), Value::integer(6), Value::integer(1)).asText(), "   2.3");
}

}  // namespace
}  // namespace talvor
