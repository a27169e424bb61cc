// A work area: one numbered slot holding one open table, with the work-area
// operations of the driver chain as virtual methods. The base class carries the
// state every layer shares (fields, position flags, alias, filter) and the
// default operations (skipBy, passHidden, field description, raiseError).
// Drivers derive from it: DbfArea (the DBF file), DbtArea (memo fields),
// NtxArea (orders). An override that calls the base class runs "the same
// operation one layer down".
//
// Operations report success as bool: false means the operation failed (its error,
// if any, has already been raised through raiseError).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rdd/dbf_format.h"
#include "services/error.h"
#include "services/value.h"

namespace talvor {

struct OpenRequest {
  std::string fileName;  // as given, with extension added
  std::string alias;     // already cut to 32 characters
  bool shared = false;
  bool readOnly = false;
  std::string codePage;
};

// Low-level lock actions (lockRegion).
enum class LockAction {
  FileLock = 1,
  FileUnlock = 2,
  RecordLock = 3,
  RecordUnlock = 4,
  HeaderLock = 5,
  HeaderUnlock = 6,
  AppendLock = 7,
  AppendUnlock = 8,
};

// Numbered table properties (tableInfo).
enum class TableInfoItem {
  TableExtension,
  MemoExtension,
  HeaderLength,
  RecordLength,
  LastUpdate,     // a date
  LockList,       // an array of record numbers
  FullName,
  FileLocked,
  DataHandle,     // 0/1: whether the data file is open
  MemoHandle,     // 0/1: whether the memo file is open
  MemoBlockSize,
  Shared,         // settable
  ReadOnly,
  LockScheme,     // settable to 1, 2 or 3
  DiscardChanges, // request: drop the hot record
};

class DbfArea;

class WorkArea {
 public:
  explicit WorkArea(std::string driverName);
  virtual ~WorkArea();
  WorkArea(const WorkArea&) = delete;
  WorkArea& operator=(const WorkArea&) = delete;

  const std::string& driverName() const { return driverName_; }
  // This area as a DBF table, or null for an area of another driver family: the
  // hot paths that take record bytes directly ask this per row.
  virtual DbfArea* asDbfTable() { return nullptr; }
  int areaNumber() const { return areaNumber_; }
  void setAreaNumber(int n) { areaNumber_ = n; }
  // The alias in upper case ("" before the table is open).
  const std::string& alias() const { return alias_; }
  void setAlias(std::string a) { alias_ = std::move(a); }

  // ---- navigation (Part of every driver) -------------------------------
  virtual bool goFirst();
  virtual bool goLast();
  virtual bool goToRecord(uint32_t n);
  // A number, a date or a one-character text taken as a record number.
  virtual bool goToIdentity(const Value& id);
  virtual bool skipBy(int64_t n);
  virtual bool passHidden(int direction);
  // One step in the current order; 0 refreshes the current record.
  virtual bool stepRaw(int64_t n);
  // Default: the area is not indexed; reports false.
  virtual bool seekKey(const Value& key, bool softSeek, bool findLast);

  // ---- records and fields ----------------------------------------------
  virtual bool appendBlank(bool unlockOthers);
  virtual bool markDeleted();
  virtual bool unmarkDeleted();
  virtual bool readDeleted(bool& deleted);
  virtual bool readField(int n, Value& out);
  virtual bool writeField(int n, const Value& v);
  virtual bool beginChange();
  virtual bool writeBack();
  virtual bool flushArea();
  virtual uint32_t countRecords();
  virtual uint32_t currentRecord() const;

  // ---- fields (default operations over fields()) -----------------------
  int countFields() const { return static_cast<int>(fields_.size()); }
  const std::vector<dbf::FieldDef>& fields() const { return fields_; }
  // 1-based; null outside 1..count
  const dbf::FieldDef* field(int n) const {
    return n < 1 || n > countFields() ? nullptr : &fields_[static_cast<std::size_t>(n - 1)];
  }
  // 1-based position of a name (trailing blanks dropped, upper-cased, cut to 10); 0 if none.
  int fieldPosition(std::string_view name) const;

  // ---- table ------------------------------------------------------------
  virtual bool openTable(const OpenRequest& request);
  virtual bool closeTable();
  virtual bool createTable(const std::string& fileName, const std::vector<dbf::FieldDef>& fields);
  virtual bool packTable();
  virtual bool zapTable();
  virtual bool tableInfo(TableInfoItem item, Value& out, const Value* newValue = nullptr);
  virtual bool readHeader();
  virtual bool writeHeader();
  virtual bool createMemoFile();
  virtual bool openMemoFile();

  // ---- locks ------------------------------------------------------------
  virtual bool lockRegion(LockAction action, uint32_t recno);
  // Method 1: current record (other record locks released first); 2: record n,
  // keeping the others; 3: the file. `locked` reports the outcome.
  virtual bool requestLock(int method, uint32_t recno, bool& locked);
  // Releases record n, or all record locks for n = 0; then any file lock.
  virtual bool releaseLocks(uint32_t recno);

  // ---- errors -----------------------------------------------------------
  // Raises an error of this driver (subsystem = driver name).
  ErrorAnswer raiseError(int subCode, const std::string& fileName = {}, int osCode = 0,
                         bool canRetry = false, bool canDefault = false);
  ErrorAnswer raiseError(RuntimeError& error);

  // ---- state flags ------------------------------------------------------
  bool bof() const { return bof_; }
  bool eof() const { return eof_; }
  bool found() const { return found_; }
  void setFound(bool f) { found_ = f; }
  void setBof(bool b) { bof_ = b; }
  void setEof(bool e) { eof_ = e; }

  // A filter condition: a code block evaluated on the current record; NIL = none.
  void setFilter(Value block) { filter_ = std::move(block); }
  const Value& filter() const { return filter_; }
  bool hasFilter() const { return filter_.isBlock(); }

  // True when the record is visible under the deleted-record filter and the filter.
  bool isVisible();

  // Incremented whenever another table is opened in this object.
  uint64_t tableSerial() const { return serial_; }

 protected:
  // Operation that the layer does not provide: raises "Operation not supported".
  bool unsupported(const char* operation);

  std::vector<dbf::FieldDef> fields_;
  bool bof_ = true;
  bool eof_ = true;
  bool found_ = false;
  bool top_ = false;
  bool bottom_ = false;
  Value filter_;
  uint64_t serial_ = 0;

 private:
  std::string driverName_;
  std::string alias_;
  int areaNumber_ = 0;
};

}  // namespace talvor
