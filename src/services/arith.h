// The arithmetic and comparisons the run-time does on values. Kinds that do not
// fit an operator raise "Argument error" (BASE); a zero divisor raises "Zero
// divisor" (BASE, generic code 5), whose substitute (or default) result is 0.
#pragma once

#include "services/value.h"

namespace talvor {

// Numbers; text concatenation; date + number.
Value plus(const Value& a, const Value& b);
// Numbers; text concatenation with the left text's trailing blanks moved to the
// end; date - number; date - date (a number of days).
Value minus(const Value& a, const Value& b);
Value times(const Value& a, const Value& b);
// A floating result with SET DECIMALS decimals.
Value divide(const Value& a, const Value& b);
Value modulo(const Value& a, const Value& b);
Value negate(const Value& a);
// -1, 0 or 1. Texts: `exact` compares length and every byte; otherwise the right
// text is compared over its own length (so "abc" = "ab" and anything = "").
// Numbers, dates and logicals (false < true) compare by value. Other kinds, or
// kinds that differ, raise "Argument error" and compare as 0 after a default.
int compareValues(const Value& a, const Value& b, bool exact);

}  // namespace talvor
