// IMPMAIN: the program's entry procedure. Applies the run settings, declares the
// public variables OWND (empty parent window) and OFONTW (the library dialogs'
// font, held as a font handle of the UI), and calls KORVEN.
#pragma once

#include "services/value.h"

namespace talvor {

// The argument (the command line) is not read.
void IMPMAIN(const Value& argument = {});

// The run settings, in their order: deleted filter on, confirm on, date format
// "dd/mm/yyyy" with century display else "dd/mm/yy", epoch = this year - 80,
// SETHANDLECOUNT(150), exclusive open on.
void applyRunSettings();

}  // namespace talvor
