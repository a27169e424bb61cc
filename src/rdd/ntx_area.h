// The index layer (driver "DBFNTX"). Every operation the index layer takes over
// is listed here so that the order code replaces bodies, not interfaces; for now
// each one runs the memo layer's operation.
#pragma once

#include "rdd/dbt_area.h"

namespace talvor {

class NtxArea : public DbtArea {
 public:
  explicit NtxArea(std::string driverName = "DBFNTX");

  bool goFirst() override;
  bool goLast() override;
  bool goToRecord(uint32_t n) override;
  bool stepRaw(int64_t n) override;
  bool beginChange() override;
  bool writeBack() override;
  bool flushArea() override;
  bool closeTable() override;
  bool packTable() override;
  bool zapTable() override;
};

}  // namespace talvor
