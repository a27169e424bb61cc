// KORVEN: the import driver. Opens the progress dialog, runs the import steps in
// their fixed order and closes the dialog.
#pragma once

namespace talvor {

void KORVEN();

}  // namespace talvor
