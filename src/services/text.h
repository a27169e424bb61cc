// Byte-text helpers shared by every layer (no locale: ASCII letters only).
#pragma once

#include <string>
#include <string_view>

namespace talvor {

std::string upperAscii(std::string_view s);
std::string lowerAscii(std::string_view s);
bool equalsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace talvor
