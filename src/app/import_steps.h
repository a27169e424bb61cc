// The import's fixed sequence of steps, run between the opening and the closing of
// the progress dialog: each export into its table, the packs and the four
// indexes, the material derivation and the discount encryption.
#pragma once

namespace talvor {

void runImportSteps(int textControl);

}  // namespace talvor
