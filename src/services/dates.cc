#include "services/dates.h"

#include <ctime>

namespace talvor {

bool isValidDate(int y, int m, int d) {
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= days[m - 1] + (m == 2 && leap ? 1 : 0);
}

int64_t dayFromYmd(int y, int m, int d) {
  if (!isValidDate(y, m, d)) return 0;
  // Julian day number of a Gregorian date.
  const int64_t a = (14 - m) / 12;
  const int64_t yy = y + 4800 - a;
  const int64_t mm = m + 12 * a - 3;
  return d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
}

void ymdFromDay(int64_t day, int& y, int& m, int& d) {
  if (day <= 0) {
    y = m = d = 0;
    return;
  }
  const int64_t a = day + 32044;
  const int64_t b = (4 * a + 3) / 146097;
  const int64_t c = a - 146097 * b / 4;
  const int64_t dd = (4 * c + 3) / 1461;
  const int64_t e = c - 1461 * dd / 4;
  const int64_t mm = (5 * e + 2) / 153;
  d = static_cast<int>(e - (153 * mm + 2) / 5 + 1);
  m = static_cast<int>(mm + 3 - 12 * (mm / 10));
  y = static_cast<int>(100 * b + dd - 4800 + mm / 10);
}

std::string dayToDigits(int64_t day) {
  int y, m, d;
  ymdFromDay(day, y, m, d);
  if (day <= 0 || y < 1 || y > 9999) return std::string(8, ' ');
  char buf[9];
  buf[0] = static_cast<char>('0' + y / 1000);
  buf[1] = static_cast<char>('0' + y / 100 % 10);
  buf[2] = static_cast<char>('0' + y / 10 % 10);
  buf[3] = static_cast<char>('0' + y % 10);
  buf[4] = static_cast<char>('0' + m / 10);
  buf[5] = static_cast<char>('0' + m % 10);
  buf[6] = static_cast<char>('0' + d / 10);
  buf[7] = static_cast<char>('0' + d % 10);
  return std::string(buf, 8);
}

int64_t digitsToDay(std::string_view s) {
  if (s.size() < 8) return 0;
  int v[8];
  for (int i = 0; i < 8; ++i) {
    if (s[i] < '0' || s[i] > '9') return 0;
    v[i] = s[i] - '0';
  }
  return dayFromYmd(v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3], v[4] * 10 + v[5], v[6] * 10 + v[7]);
}

int64_t todayDay() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return dayFromYmd(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

int currentYear() {
  int y, m, d;
  ymdFromDay(todayDay(), y, m, d);
  return y;
}

}  // namespace talvor
