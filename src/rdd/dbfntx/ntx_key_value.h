// Key values to key bytes: the key type and width a value fixes when an order is
// created, and the bytes of a value as a key (character, numeric, date, logical).
#pragma once

#include <optional>
#include <string>

#include "services/value.h"

namespace talvor::ntx {

enum class KeyType : char { Character = 'C', Numeric = 'N', Date = 'D' };

struct KeyShape {
  KeyType type = KeyType::Character;
  int width = 0;
  int decimals = 0;
};

// The shape of an order whose key evaluates to `v`: a number gives N with its
// display width (which counts sign, integer digits, point and decimals) and its
// decimals; a date D, 8; a logical C, 1; a text C with its length cut to 256.
// Nothing for any other kind. The width may be 0 (an empty text): the caller
// reports that as a data width error.
std::optional<KeyShape> keyShapeOf(const Value& v);

// STR(n, width, decimals) turned into numeric key bytes.
std::string numericKey(const Number& n, int width, int decimals);

// The key bytes of `v` for an order of that shape: text as it is (at most 256
// bytes; the caller checks the width), numbers by the numeric key encoding with
// the order's width and decimals, dates as eight digits, logicals "T" or "F".
// False for a value of any other kind.
bool keyBytesOf(const Value& v, const KeyShape& shape, std::string& out);

// The key a seek looks for: like keyBytesOf, but a text is cut to the key width.
bool soughtKeyOf(const Value& v, const KeyShape& shape, std::string& out);

}  // namespace talvor::ntx
