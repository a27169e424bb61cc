// What the expression evaluator needs of the table engine: field names resolved
// against work areas, and the few record functions (RECNO, DELETED). The table
// engine installs its implementation at start-up; the evaluator knows nothing
// else of tables.
#pragma once

#include <cstdint>
#include <string_view>

#include "services/value.h"

namespace talvor {

class FieldScope {
 public:
  virtual ~FieldScope() = default;
  // The area number bound to an alias ("" = the current area); 0 when the alias
  // is bound to no area (or, for "", when no table is open in the current area).
  virtual int areaOf(std::string_view alias) = 0;
  // The 1-based position of a field in the table of an area; 0 when there is none.
  virtual int fieldIndex(int area, std::string_view name) = 0;
  // The current record's value of field `index` in `area`.
  virtual Value readField(int area, int index) = 0;
  // The current area number (the area a field reference without alias names).
  virtual int currentArea() = 0;
  virtual Value recno(int area) = 0;
  virtual bool deleted(int area) = 0;
  // A number that changes whenever another table is opened in `area` (0 = not
  // tracked). Evaluators keep field positions per area and look them up again
  // when it changes.
  virtual uint64_t tableSerial(int /*area*/) { return 0; }
};

// The installed scope; null until the table engine installs one.
FieldScope* fieldScope();
void setFieldScope(FieldScope* scope);

}  // namespace talvor
