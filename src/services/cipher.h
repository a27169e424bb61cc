// The text cipher: each byte combined with the text's length, rotated by its
// position and combined with a byte of the optional key. A null or empty key is
// no key. The result always has the length of the text.
#pragma once

#include <string>
#include <string_view>

namespace talvor {

std::string encryptText(std::string_view text, const std::string* key);
std::string decryptText(std::string_view text, const std::string* key);

}  // namespace talvor
