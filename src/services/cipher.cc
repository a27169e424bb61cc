#include "services/cipher.h"

#include <cstdint>

namespace talvor {

namespace {

uint8_t rotateLeft(uint8_t x, unsigned n) {
  n &= 7;
  return n == 0 ? x : static_cast<uint8_t>((x << n) | (x >> (8 - n)));
}

uint8_t rotateRight(uint8_t x, unsigned n) {
  n &= 7;
  return n == 0 ? x : static_cast<uint8_t>((x >> n) | (x << (8 - n)));
}

}  // namespace

std::string encryptText(std::string_view text, const std::string* key) {
  const bool keyed = key && !key->empty();
  const auto lengthByte = static_cast<uint8_t>(text.size() & 0xFF);
  std::string out(text);
  for (std::size_t j = 0; j < out.size(); ++j) {
    uint8_t x = static_cast<uint8_t>(out[j]) ^ lengthByte;
    x = rotateLeft(x, static_cast<unsigned>(j % 8));
    if (keyed) x ^= static_cast<uint8_t>((*key)[j % key->size()]);
    out[j] = static_cast<char>(x);
  }
  return out;
}

std::string decryptText(std::string_view text, const std::string* key) {
  const bool keyed = key && !key->empty();
  const auto lengthByte = static_cast<uint8_t>(text.size() & 0xFF);
  std::string out(text);
  for (std::size_t j = 0; j < out.size(); ++j) {
    uint8_t y = static_cast<uint8_t>(out[j]);
    if (keyed) y ^= static_cast<uint8_t>((*key)[j % key->size()]);
    y = rotateRight(y, static_cast<unsigned>(j % 8));
    out[j] = static_cast<char>(y ^ lengthByte);
  }
  return out;
}

}  // namespace talvor
