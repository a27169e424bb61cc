#include "services/conversions.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "services/dates.h"

namespace talvor {

namespace {

constexpr double kExactIntegerDigits = 1099511627776.0;  // 2^40

// The floating-point path of STR, writing W characters at out. Positions: the
// integer part 0..iw-1, the point at iw (with decimals), the decimals after it.
// Digits are generated one at a time as the run-time does (the 0.01 nudges, the
// 16-significant-digit cap and the look-ahead for values just below a half),
// which is why this is not printf.
void formatReal(double v, int W, int d, char* out) {
  const auto stars = [out, W] { std::memset(out, '*', static_cast<std::size_t>(W)); };
  int iw = d > 0 ? W - d - 1 : W;
  if (iw <= 0) return stars();
  std::memset(out, ' ', static_cast<std::size_t>(W));
  // Digit positions in order left to right: the integer part 0..iw-1, then the
  // decimals iw+1..iw+d (the point sits at iw).
  const int digitCount = iw + d;
  const auto pos = [iw](int k) { return k < iw ? k : k + 1; };
  bool neg = v < 0;
  double x = std::fabs(v);
  double I = std::floor(x), F = x - I;
  // integer digits
  int p = iw - 1;
  int firstSig = -1;  // position of the first significant digit
  if (I < kExactIntegerDigits) {
    // Below 2^40 each step's I / 10 + 0.01 lies within 1e-4 of the exact value,
    // so the digits taken are the decimal digits of I.
    uint64_t u = static_cast<uint64_t>(I);
    do {
      if (p < 0) return stars();
      out[p--] = static_cast<char>('0' + u % 10);
      u /= 10;
    } while (u != 0);
    if (I >= 1) firstSig = p + 1;
  } else {
    for (;;) {
      if (p < 0) return stars();
      double t = I / 10 + 0.01;
      double ni = std::floor(t);
      double frac = t - ni;
      int digit = (int)std::floor(frac * 10 + 0.01);
      if (digit > 9) digit = 9;
      out[p] = char('0' + digit);
      I = ni;
      --p;
      if (I < 1) break;
    }
    for (int k = p + 1; k < iw; ++k)
      if (out[k] != '0') { firstSig = k; break; }
  }
  // decimal digits. F is never negative, so converting a product to int takes
  // its floor.
  int produced = 0;  // sig digits written
  if (firstSig >= 0) produced = iw - firstSig;
  int di = 0;
  bool capped = produced >= 16;
  for (; di < d && !capped; ++di) {
    double prod = F * 10;
    int digit = static_cast<int>(prod + 0.01);
    if (digit > 9) digit = 9;
    // What is left after the digit taken: a product just below a whole number
    // gave that whole number as its digit, so nothing is left to round up with.
    F = std::max(prod - digit, 0.0);
    int q = iw + 1 + di;
    out[q] = char('0' + digit);
    if (firstSig < 0 && digit != 0) firstSig = q;
    if (firstSig >= 0) { ++produced; if (produced >= 16) { ++di; capped = true; break; } }
  }
  // positions after the 16th significant digit (negative: how many are missing)
  const int sigPositions = firstSig < 0 ? 0 : digitCount - (firstSig < iw ? firstSig : firstSig - 1);
  const int Z = sigPositions - 16;
  double prod = F * 10;
  int L = static_cast<int>(prod);
  F = prod - L;
  if (L == 4 && Z < 0) {
    int n = -Z;
    bool all = true;
    for (int k = 0; k < n; ++k) {
      prod = F * 10;
      int dg = static_cast<int>(prod);
      F = prod - dg;
      bool last = k == n - 1;
      if (last ? dg < 2 : dg != 9) { all = false; break; }
    }
    if (all) L = 5;
  }
  // fill unproduced decimals: first gets L, rest 0
  bool placedL = false;
  for (int k = di; k < d; ++k) { int q = iw + 1 + k; out[q] = placedL ? '0' : char('0' + L); placedL = true; }
  // determine rounding start and decision
  bool up;
  int startIdx;  // index of the last kept digit
  int lastPosIdx = digitCount - 1;
  if (Z > 0) {
    int keep = lastPosIdx - Z;  // index of the 16th significant digit
    up = out[pos(keep + 1)] >= '5';
    for (int k = keep + 1; k <= lastPosIdx; ++k) out[pos(k)] = '0';
    startIdx = keep;
  } else {
    up = L >= 5;
    startIdx = lastPosIdx;
  }
  if (up) {
    int k = startIdx;
    for (;;) {
      if (k < 0) return stars();
      char& c = out[pos(k)];
      if (c == '9') { c = '0'; --k; continue; }
      if (c == ' ') { c = '1'; break; }
      ++c;
      break;
    }
  }
  if (neg) {
    int first = -1;
    for (int k = 0; k < digitCount; ++k) {
      const int q = pos(k);
      if (out[q] >= '1' && out[q] <= '9') { first = q; break; }
    }
    if (first >= 0) {
      int m = first > iw ? iw - 2 : first - 1;
      if (m < 0) return stars();
      out[m] = '-';
    }
  }
  if (d > 0) out[iw] = '.';
}

// The whole-number path: digits right-aligned, the minus directly before them,
// decimal positions "0".
void formatWhole(int64_t v, int width, int decimals, char* out) {
  const int iw = decimals > 0 ? width - decimals - 1 : width;
  if (iw <= 0) return (void)std::memset(out, '*', static_cast<std::size_t>(width));
  const bool negative = v < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  char digits[24];
  int n = 0;
  do {
    digits[sizeof digits - 1 - n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (negative) digits[sizeof digits - 1 - n++] = '-';
  if (n > iw) return (void)std::memset(out, '*', static_cast<std::size_t>(width));
  std::memset(out, ' ', static_cast<std::size_t>(iw - n));
  std::memcpy(out + (iw - n), digits + sizeof digits - n, static_cast<std::size_t>(n));
  if (decimals > 0) {
    out[iw] = '.';
    std::memset(out + iw + 1, '0', static_cast<std::size_t>(decimals));
  }
}

bool isWhite(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

Number parseVal(std::string_view text) {
  Number n;
  const std::size_t point = text.find('.');
  std::size_t i = 0;
  while (i < text.size() && isWhite(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  if (point == std::string_view::npos) {
    uint64_t value = 0;
    bool overflow = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      const unsigned digit = static_cast<unsigned>(text[i] - '0');
      if (value > (UINT64_MAX - digit) / 10) overflow = true;
      value = value * 10 + digit;
    }
    if (!overflow && value <= static_cast<uint64_t>(INT64_MAX)) {
      n.whole = negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
      n.width = static_cast<int>(text.size());
      n.decimals = 0;
      return n;
    }
  }
  // The digits and the one point that VAL reads, as strtod reads them. A run of
  // at most 15 digits with at most 22 decimals is exact as a whole number and as
  // a power of ten, so one division gives the same correctly rounded double.
  const std::size_t runStart = i;
  uint64_t mantissa = 0;
  int digitsSeen = 0;
  int decimalsSeen = 0;
  int points = 0;
  for (; i < text.size() && ((text[i] >= '0' && text[i] <= '9') || text[i] == '.'); ++i) {
    if (text[i] == '.') {
      if (++points == 2) break;
      continue;
    }
    if (digitsSeen < 16) mantissa = mantissa * 10 + static_cast<unsigned>(text[i] - '0');
    ++digitsSeen;
    if (points == 1) ++decimalsSeen;
  }
  n.isDouble = true;
  static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                            1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (digitsSeen == 0) {
    n.real = 0.0;
  } else if (digitsSeen <= 15 && decimalsSeen <= 22) {
    n.real = static_cast<double>(mantissa) / kPowersOfTen[decimalsSeen];
  } else {
    const std::string run(text.substr(runStart, i - runStart));
    n.real = std::strtod(run.c_str(), nullptr);
  }
  if (negative) n.real = -n.real;
  if (point == std::string_view::npos) {
    n.width = static_cast<int>(text.size());
    n.decimals = 0;
  } else {
    n.decimals = static_cast<int>(text.size() - point - 1);
    int width = static_cast<int>(point);
    if (point == 0 || point + 1 == text.size() || (point == 1 && text[0] == '-')) ++width;
    n.width = width;
  }
  return n;
}

int64_t parseDate(std::string_view text, std::string_view format, int epoch) {
  // The order of day, month and year from the first d, m and y of the format.
  int order[3] = {0, 1, 2};  // component index for step 1, 2, 3: 0 day, 1 month, 2 year
  {
    int seen = 0;
    bool have[3] = {false, false, false};
    for (char c : format) {
      const char lc = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      const int comp = lc == 'd' ? 0 : lc == 'm' ? 1 : lc == 'y' ? 2 : -1;
      if (comp >= 0 && !have[comp] && seen < 3) {
        have[comp] = true;
        order[seen++] = comp;
      }
    }
    if (seen < 3) {  // a format lacking a letter: the missing ones follow in d, m, y order
      for (int comp = 0; comp < 3; ++comp)
        if (!have[comp]) order[seen++] = comp;
    }
  }
  int64_t counter[3] = {0, 0, 0};
  int step = 0;
  bool afterDigit = false;
  for (char c : text) {
    const bool all = counter[0] > 0 && counter[1] > 0 && counter[2] > 0;
    if (c >= '0' && c <= '9') {
      int64_t& v = counter[order[step]];
      if (v < 100000) v = v * 10 + (c - '0');
      afterDigit = true;
    } else if (c == ' ') {
      if (all) break;
    } else {
      if (all) break;
      if (afterDigit && step < 2) ++step;
      afterDigit = false;
    }
  }
  int64_t year = counter[2];
  if (year >= 0 && year <= 99) {
    const int64_t century = epoch / 100 * 100;
    year += century;
    if (counter[2] < epoch % 100) year += 100;
  }
  if (counter[0] > 31 || counter[1] > 12 || year > 9999) return 0;
  return dayFromYmd(static_cast<int>(year), static_cast<int>(counter[1]), static_cast<int>(counter[0]));
}

void formatNumberInto(const Number& n, int width, int decimals, char* out) {
  if (!n.isDouble) return formatWhole(n.whole, width, decimals, out);
  if (!std::isfinite(n.real)) return (void)std::memset(out, '*', static_cast<std::size_t>(width));
  formatReal(n.real, width, decimals, out);
}

std::string formatNumber(const Number& n, int width, int decimals) {
  if (width <= 0) width = 10;
  if (decimals < 0) decimals = 0;
  std::string out(static_cast<std::size_t>(width), ' ');
  formatNumberInto(n, width, decimals, out.data());
  return out;
}

std::string formatNumberDefault(const Number& n) {
  const int decimals = n.decimals > 0 ? n.decimals : 0;
  int integer = n.width > 0 ? n.width : 10;
  if (integer > 90) integer = 90;
  return formatNumber(n, decimals > 0 ? integer + decimals + 1 : integer, decimals);
}

std::string trimRight(std::string_view text) {
  std::size_t end = text.size();
  while (end > 0 && text[end - 1] == ' ') --end;
  return std::string(text.substr(0, end));
}

std::string allTrim(std::string_view text) {
  std::size_t end = text.size();
  while (end > 0 && text[end - 1] == ' ') --end;
  std::size_t begin = 0;
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t' || text[begin] == '\n' || text[begin] == '\r'))
    ++begin;
  return std::string(text.substr(begin, end - begin));
}

bool isEmptyText(std::string_view text) {
  for (char c : text)
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return false;
  return true;
}

}  // namespace talvor
