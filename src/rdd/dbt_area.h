// The memo layer (driver "DBFDBT"): memo fields in a DBT file. For now it opens
// and creates the memo file beside the table; memo values are added by the memo
// layer's own files.
#pragma once

#include "rdd/dbf_area.h"

namespace talvor {

class DbtArea : public DbfArea {
 public:
  explicit DbtArea(std::string driverName = "DBFDBT");

  bool readField(int n, Value& out) override;
  bool writeField(int n, const Value& v) override;
  bool tableInfo(TableInfoItem item, Value& out, const Value* newValue = nullptr) override;
  bool createMemoFile() override;
  bool openMemoFile() override;
  bool writeHeader() override;
};

}  // namespace talvor
