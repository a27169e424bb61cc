// Dates as day numbers (Julian day numbers; 0 is the empty date) and their parts,
// with the Gregorian leap rules; years run from 1 to 9999.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace talvor {

bool isValidDate(int y, int m, int d);
// The day number of a date; 0 when the date is not valid.
int64_t dayFromYmd(int y, int m, int d);
// Year, month and day of a day number; all 0 for the empty date.
void ymdFromDay(int64_t day, int& y, int& m, int& d);
// "YYYYMMDD"; eight blanks for the empty date.
std::string dayToDigits(int64_t day);
// The date of eight digits "YYYYMMDD"; 0 when they are no valid date.
int64_t digitsToDay(std::string_view eight);
// Today from the local time of the C library.
int64_t todayDay();
int currentYear();

}  // namespace talvor
