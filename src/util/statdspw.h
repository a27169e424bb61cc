// STATDSPW: the utility library's status notice.
#pragma once

#include "services/value.h"

namespace talvor {

// A wait that is absent, NIL, 0 or negative shows the information box (title
// "Information") and blocks until it is closed; any wait above 0 shows the
// self-closing notice titled "Information" for 2 seconds. Bell and row are
// accepted and ignored.
void STATDSPW(const Value& text, const Value& wait = {}, const Value& bell = {},
              const Value& row = {});

}  // namespace talvor
