// The DBF layer (driver "DBF"): the data file, its records and fields, and the
// byte-range locks of a shared table.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rdd/file_system.h"
#include "rdd/record_store.h"
#include "rdd/work_area.h"

namespace talvor {

class DbfArea : public WorkArea {
 public:
  explicit DbfArea(std::string driverName = "DBF");
  ~DbfArea() override;
  DbfArea* asDbfTable() override { return this; }

  bool goFirst() override;
  bool goLast() override;
  bool goToRecord(uint32_t n) override;
  bool stepRaw(int64_t n) override;

  bool appendBlank(bool unlockOthers) override;
  bool markDeleted() override;
  bool unmarkDeleted() override;
  bool readDeleted(bool& deleted) override;
  bool readField(int n, Value& out) override;
  bool writeField(int n, const Value& v) override;
  bool beginChange() override;
  bool writeBack() override;
  bool flushArea() override;
  uint32_t countRecords() override;
  uint32_t currentRecord() const override { return recno_; }

  bool openTable(const OpenRequest& request) override;
  bool closeTable() override;
  bool createTable(const std::string& fileName, const std::vector<dbf::FieldDef>& fields) override;
  bool packTable() override;
  bool zapTable() override;
  bool tableInfo(TableInfoItem item, Value& out, const Value* newValue = nullptr) override;
  bool readHeader() override;
  bool writeHeader() override;
  bool createMemoFile() override;
  bool openMemoFile() override;

  bool lockRegion(LockAction action, uint32_t recno) override;
  bool requestLock(int method, uint32_t recno, bool& locked) override;
  bool releaseLocks(uint32_t recno) override;

  // Typed state for the layers above and for tests.
  bool isOpen() const { return data_ != nullptr; }
  bool isShared() const { return shared_; }
  bool isReadOnly() const { return readOnly_; }
  bool isHot() const { return recordChanged_; }
  bool isFileLocked() const { return fileLocked_; }
  const std::vector<uint32_t>& lockList() const { return lockList_; }
  const std::string& dataFileName() const { return dataName_; }
  const std::string& memoFileName() const { return memoName_; }
  bool hasMemo() const { return hasMemo_; }
  const dbf::Header& header() const { return header_; }
  int lockScheme() const { return lockScheme_; }
  // The record buffer (record length bytes, deletion flag first), loaded on demand.
  const uint8_t* recordBuffer();
  // The bytes of field n (1-based, which must exist) of the current record, for a
  // caller that writes the field's own encoding there: the record is loaded and
  // its change begun, as writeField does before it encodes a value. Null at the
  // end of the file (nothing is written there) or after a failure, which has been
  // raised.
  uint8_t* fieldBytesForChange(int n);
  // Store into field n (1-based, which must exist) of the current record the
  // bytes writeField leaves for a value that the field takes as its own
  // encoding, without making the value: a text into a character field, a number
  // into a numeric field wide enough for it, a day into an eight-byte date
  // field, a truth value into a logical field. False, with nothing done, where
  // writeField must run instead: another field kind, or a number too wide for
  // its field (writeField raises the width error).
  bool storeText(int n, std::string_view text);
  bool storeNumber(int n, const Number& number);
  bool storeDay(int n, int64_t day);
  bool storeLogical(int n, bool value);
  // The bytes of field n (1-based, which must exist and not be a memo field) of
  // the current record, as a read decodes them; at the end of the file the blank
  // record's. Null after a failure to load the record, which has been raised.
  const uint8_t* fieldBytes(int n);
  uint32_t recordLength() const { return recordLength_; }
  // The byte offset of the record lock of record n under the current scheme.
  uint64_t recordLockOffset(uint32_t n) const;

 protected:
  // Reads the current record into the buffer when it is not valid.
  bool loadRecord();
  bool writeRecord();
  // Record count from the file size.
  bool recountFromFile();
  void makeBlankBuffer();
  // Releases every record lock (writing back first).
  bool releaseAll();
  bool releaseRecord(uint32_t n);
  bool lockRecord(uint32_t n, bool unlockOthers, bool& locked);
  // After a lock: make the next use of the current record read it from the file.
  void refreshAfterLock();
  bool lockBytes(uint64_t offset, uint64_t length, bool unlock, bool wait);
  bool commitFiles();
  // The memo layer's part of close and commit.
  virtual bool closeMemoFile();
  virtual bool commitMemoFile();
  // Encodes the header and the end-of-file mark (exclusive) and writes them.
  bool writeHeaderBytes();
  // Writes the 32 header bytes with the given record count.
  bool writeHeaderCounting(uint32_t count);
  // Writes the pending records, and the header when it is due; raises on failure.
  bool flushData();
  // A write of the data file failed: in exclusive mode the file is first made to
  // describe the whole records that reached the disk (header count, cut, mark),
  // while the records still in memory stay pending and the header stays due for
  // the next attempt; then "Write error" is raised.
  void failWrite(int osCode);
  void describeRecordsOnDisk();
  // Opens a file, raising "Open error" with retry; null when the open fails.
  std::unique_ptr<File> openWithRetry(const std::string& name, int mode, int subCode);

  // Files.
  std::unique_ptr<File> data_;
  std::unique_ptr<File> memo_;
  RecordStore store_;
  std::string dataName_;
  std::string memoName_;

  // Header state.
  dbf::Header header_;
  uint32_t recordLength_ = 0;
  uint32_t recordCount_ = 0;
  bool hasMemo_ = false;
  bool shared_ = false;
  bool readOnly_ = false;
  int lockScheme_ = 1;

  // Record state.
  std::vector<uint8_t> buffer_;
  std::vector<uint8_t> blank_;  // the blank record of the current fields, made on first use
  uint32_t recno_ = 0;
  bool bufferValid_ = false;
  bool positioned_ = false;
  bool recordChanged_ = false;
  bool appended_ = false;
  bool deleted_ = false;
  bool headerDirty_ = false;

  // Lock state.
  bool fileLocked_ = false;
  bool headerLocked_ = false;
  std::vector<uint32_t> lockList_;
  bool dataWritten_ = false;
  bool memoWritten_ = false;
};

}  // namespace talvor
