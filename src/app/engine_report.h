// Fills the error report's table-engine sections ("Linked RDDs", "DataBases in
// use") from the live work areas.
#pragma once

namespace talvor {

void installEngineReport();

}  // namespace talvor
