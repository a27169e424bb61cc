// The memo layer (driver "DBFDBT"): memo fields whose text lives in a DBT file
// beside the table (memo_file.h has the format). It takes over reading and
// writing of memo fields when the table has memo fields and its memo file is
// open, creates and opens the memo file, and forces the memo version byte; every
// other field and operation goes to the DBF layer.
#pragma once

#include "rdd/dbf_area.h"

namespace talvor {

class DbtArea : public DbfArea {
 public:
  explicit DbtArea(std::string driverName = "DBFDBT");

  // A memo field reads as its text (empty for block 0 and on the phantom record).
  bool readField(int n, Value& out) override;
  // A memo field takes text only (33 "Data type error", 1020, default allowed,
  // and the write fails); the empty text stores block 0 and writes no memo bytes.
  bool writeField(int n, const Value& v) override;
  // The length of a memo field's text; other fields report their length in the
  // record.
  bool fieldLength(int n, uint64_t& length);
  bool tableInfo(TableInfoItem item, Value& out, const Value* newValue = nullptr) override;
  // With no memo file open: creates memoFileName() (20 "Create error", 1004,
  // retry). With one open (ZAP): re-initialises it. Either leaves a 512-byte file
  // with next-free 1.
  bool createMemoFile() override;
  // Opens memoFileName() with the table's modes (21 "Open error", 1001, retry
  // and default); failing fails the table's open.
  bool openMemoFile() override;
  // A table with memo fields gets version 0x83 unless its version is 0x30.
  bool writeHeader() override;

 private:
  // The memo field n, or null when field n is not one the memo layer handles.
  const dbf::FieldDef* memoField(int n) const;
  // Reads the memo text of the current record's field f under the shared lock.
  bool readMemo(const dbf::FieldDef& f, std::string* text, uint64_t& length);
};

}  // namespace talvor
