#include "rdd/dbfntx/ntx_key_value.h"

#include <algorithm>

#include "rdd/dbfntx/ntx_format.h"

#if __has_include("services/conversions.h")
#include "services/conversions.h"
#else
namespace talvor {
std::string formatNumber(const Number& n, int width, int decimals);
}
#endif
#if __has_include("services/dates.h")
#include "services/dates.h"
#else
namespace talvor {
std::string dayToDigits(int64_t day);
}
#endif

namespace talvor::ntx {

std::optional<KeyShape> keyShapeOf(const Value& v) {
  switch (v.kind()) {
    case Kind::Number: {
      // The key is as wide as the value's text form: its integer positions plus,
      // with decimals, the point and the decimals.
      const Number& n = v.asNumber();
      const int decimals = std::max(n.decimals, 0);
      const int width = std::max(n.width, 0) + (decimals > 0 ? decimals + 1 : 0);
      return KeyShape{KeyType::Numeric, width, decimals};
    }
    case Kind::Date:
      return KeyShape{KeyType::Date, 8, 0};
    case Kind::Logical:
      return KeyShape{KeyType::Character, 1, 0};
    case Kind::Text:
      return KeyShape{KeyType::Character, static_cast<int>(std::min<std::size_t>(v.asText().size(), kMaxKeyWidth)), 0};
    default:
      return std::nullopt;
  }
}

std::string numericKey(const Number& n, int width, int decimals) {
  return numericKeyFromText(formatNumber(n, width, decimals));
}

bool keyBytesOf(const Value& v, const KeyShape& shape, std::string& out) {
  switch (v.kind()) {
    case Kind::Number:
      out = numericKey(v.asNumber(), shape.width, shape.decimals);
      return true;
    case Kind::Date:
      out = dayToDigits(v.asDay());
      return true;
    case Kind::Logical:
      out = v.asLogical() ? "T" : "F";
      return true;
    case Kind::Text:
      out.assign(v.asText(), 0, std::min<std::size_t>(v.asText().size(), kMaxKeyWidth));
      return true;
    default:
      return false;
  }
}

bool soughtKeyOf(const Value& v, const KeyShape& shape, std::string& out) {
  if (!keyBytesOf(v, shape, out)) return false;
  if (v.isText() && out.size() > static_cast<std::size_t>(shape.width)) out.resize(shape.width);
  return true;
}

}  // namespace talvor::ntx
