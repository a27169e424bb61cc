// The utility library's record helpers: appends, locks and opens that retry for a
// time the caller chooses when another workstation holds the table or record, and
// record copies between two work areas. Failures are reported through STATDSPW.
#pragma once

#include "services/value.h"

namespace talvor {

// Appends a blank record, retrying within the budget w (10 x w, less 0.2 per
// retry; w = 0 retries without end; w < 0 tries once). Shows "Unable to add
// record." on giving up. Result: logical.
Value ADDREC(const Value& budget);
// Locks the current record with the same retry rule; silent on giving up.
Value RECLOCK(const Value& budget);
// Locks, deletes and unlocks the current record.
Value DELREC();
// Opens a table in the current area, `attempts` times with a 1-second pause (0 =
// without end). Result: logical.
Value NETUSE(const Value& file, const Value& exclusive, const Value& attempts);
// The first `count` field values of record n (blank values for the phantom record).
Value GETREC(const Value& recno, const Value& count);
// Appends a copy of the source's current record to the destination, by field name.
void COPYREC(const Value& source, const Value& destination);
// Overwrites the destination's current record from the source's, by field name,
// where the value types agree.
void UPDREC(const Value& source, const Value& destination);

}  // namespace talvor
