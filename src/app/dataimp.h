// DATAIMP: fills a table from an SAP text export in two halves. The raw reader
// empties the table and splits the export into the staging table data1, one row
// per line, all as text; the typed transfer then appends one record per staging
// row except the first, converting column k by the type of field k (numbers by
// VAL, dates by CTOD, everything else as trimmed text). Every table it opened is
// closed again; the current area is then the structure table's free area.
#pragma once

#include <string>

namespace talvor {

void DATAIMP(const std::string& file, const std::string& table, const std::string& message, int textControl);

}  // namespace talvor
