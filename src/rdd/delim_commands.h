// The delimited text transfer: __DBDELIM imports the lines of a comma-separated
// file as records of the current table (columns into fields by position, typed by
// each field's type letter) or exports records as such lines.
#pragma once

#include "services/value.h"

namespace talvor {

// __DBDELIM(export, file, delimiter, fields, for, while, next, record, rest).
// Import (export false): every line becomes one appended record; the file is
// read as a stream. Export: one CR LF line per record in scope, then Ctrl-Z.
Value __DBDELIM(const Value& isExport, const Value& file, const Value& delimiter = {}, const Value& fields = {},
                const Value& forBlock = {}, const Value& whileBlock = {}, const Value& next = {},
                const Value& record = {}, const Value& rest = {});

}  // namespace talvor
