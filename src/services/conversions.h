// The conversions between numbers, text and dates on which stored fields, index
// keys and the import's output depend byte for byte.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "services/value.h"

namespace talvor {

// The text of a number in exactly `width` positions with `decimals` decimals
// (STR): decimal digits produced one at a time with the run-time's nudges, at
// most 16 significant digits, rounding half away from zero with a look-ahead;
// width asterisks when the number does not fit. A width of 0 or less counts as
// 10, negative decimals as 0.
std::string formatNumber(const Number& n, int width, int decimals);
// The same text written at out, which holds width characters; width is at least
// 1 and decimals at least 0 here (no defaults are applied).
void formatNumberInto(const Number& n, int width, int decimals, char* out);
// STR without a width: the number's own integer width and decimals.
std::string formatNumberDefault(const Number& n);
// VAL: the number a text starts with, with the display width and decimals the
// text gives it.
Number parseVal(std::string_view text);
// CTOD: a date under a date format (the order of its first d, m, y) and an epoch
// for two-digit years; 0 when the text is no valid date.
int64_t parseDate(std::string_view text, std::string_view dateFormat, int epoch);
// Trailing blanks (code 32) removed.
std::string trimRight(std::string_view text);
// Trailing blanks removed, then leading blanks, tabs, line feeds and carriage returns.
std::string allTrim(std::string_view text);
// True when the text holds nothing but blanks, tabs, line feeds and carriage returns.
bool isEmptyText(std::string_view text);

}  // namespace talvor
