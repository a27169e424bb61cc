// The import's fixed sequence of steps, run between the opening and the closing of
// the progress dialog: each export into its table, the packs and the four
// indexes, the material derivation and the discount encryption.
#pragma once

#include <functional>

namespace talvor {

// `afterStep`, when given, is called with the number of each step (1 to 13) once
// that step is done, before the next step's message.
void runImportSteps(int textControl, const std::function<void(int)>& afterStep = {});

}  // namespace talvor
