// Whole-table command functions: emptying and packing the current table,
// reading its structure, temporary aliases. They act on the current work area,
// take and return Values and raise the run-time errors of the table functions.
#pragma once

#include "rdd/work_area.h"
#include "services/value.h"

namespace talvor {

// Removes every record of the current table.
Value __DBZAP();
// Removes the deleted records of the current table. `progress` (a block) is
// evaluated with no arguments after every `every` records visited (missing or 0
// counts as 1) and once more at the end when records were visited since.
Value __DBPACK(const Value& progress = {}, const Value& every = {});
// {name, type letter, length, decimals} per field; NIL without a current table.
Value DBSTRUCT();
// aStruct when `names` is empty or not an array; else the rows named in `names`
// (upper-cased, trailing blanks dropped), in list order, unmatched names skipped.
Value __DBSTRUCTFILTER(const Value& structure, const Value& names = {});
// "WKTMP001".."WKTMP999": the first one bound to no area; "" when all are taken.
Value __RDDGETTEMPALIAS();

// Creates a table from a structure array (rows {name, type, length, decimals}).
// NIL, or (when `openNew` is given) whether the new table was opened.
Value DBCREATE(const Value& file, const Value& structure, const Value& driver = {},
               const Value& openNew = {}, const Value& alias = {}, const Value& codePage = {});
// CREATE (empty `from`: an empty structure table) and CREATE FROM `from`. USED().
Value __DBCREATE(const Value& file, const Value& from = {}, const Value& driver = {},
                 const Value& newArea = {}, const Value& alias = {});
// COPY STRUCTURE EXTENDED: writes the current structure into a structure table.
Value __DBCOPYXSTRUCT(const Value& file);
// COPY STRUCTURE: an empty table with the current structure (or the listed fields).
Value __DBCOPYSTRUCT(const Value& file, const Value& fieldNames = {});
// APPEND FROM `file` into the current table.
Value __DBAPP(const Value& file, const Value& fieldNames = {}, const Value& forBlock = {},
              const Value& whileBlock = {}, const Value& next = {}, const Value& record = {},
              const Value& rest = {}, const Value& driver = {});

// The progress request of the pack in progress on `area` (set by __DBPACK for
// the duration of packTable); null when none.
struct PackProgress {
  Value block;
  uint32_t every = 1;
};
const PackProgress* packProgressOf(const WorkArea* area);

}  // namespace talvor
