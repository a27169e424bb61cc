#include "rdd/dbt_area.h"

namespace talvor {

// Until the memo layer's own files take over, memo fields behave as in the DBF
// layer and the memo file is neither created nor opened.
DbtArea::DbtArea(std::string driverName) : DbfArea(std::move(driverName)) {}

bool DbtArea::readField(int n, Value& out) { return DbfArea::readField(n, out); }
bool DbtArea::writeField(int n, const Value& v) { return DbfArea::writeField(n, v); }
bool DbtArea::tableInfo(TableInfoItem item, Value& out, const Value* newValue) {
  if (item == TableInfoItem::MemoExtension) {
    out = Value::text(".dbt");
    return true;
  }
  return DbfArea::tableInfo(item, out, newValue);
}
bool DbtArea::createMemoFile() { return DbfArea::createMemoFile(); }
bool DbtArea::openMemoFile() { return DbfArea::openMemoFile(); }
bool DbtArea::writeHeader() { return DbfArea::writeHeader(); }

}  // namespace talvor
