// Record I/O on an open data file. In exclusive mode it keeps written records in
// a write-behind block and reads sequential records ahead in large blocks (a seek
// reads only the few records from its target on); every
// read sees the latest written bytes. In shared mode every read and write goes
// straight to the file.
#pragma once

#include <cstdint>
#include <vector>

#include "rdd/file_system.h"

namespace talvor {

class RecordStore {
 public:
  void attach(File* file, uint64_t headerLength, uint32_t recordLength, bool buffered);
  void detach();
  void setBuffered(bool buffered);

  // Reads record n (1-based); false on a short read or I/O error.
  bool read(uint32_t n, uint8_t* out);
  // Writes record n; false on a short write or I/O error (lastError() says why).
  bool write(uint32_t n, const uint8_t* record);
  // Writes the pending block to the file; false on failure.
  bool flush();
  // Forgets the read-ahead block (after other writes to the file).
  void dropReadAhead();
  // The error number of the last failure (0 = short read/write without an OS code).
  int lastError() const { return lastError_; }

 private:
  uint64_t offsetOf(uint32_t n) const { return headerLength_ + uint64_t(n - 1) * recordLength_; }
  bool readThrough(uint32_t n, uint8_t* out);
  void overlayPending();

  File* file_ = nullptr;
  uint64_t headerLength_ = 0;
  uint32_t recordLength_ = 0;
  bool buffered_ = false;
  std::size_t blockRecords_ = 1;

  // Write-behind: records first..first+count-1 held in `pending_`.
  uint32_t pendingFirst_ = 0;
  uint32_t pendingCount_ = 0;
  std::vector<uint8_t> pending_;

  // Read-ahead: records first..first+count-1 as read from the file.
  uint32_t aheadFirst_ = 0;
  uint32_t aheadCount_ = 0;
  std::vector<uint8_t> ahead_;
  uint32_t lastRead_ = 0;  // the record read last, to tell a scan from a seek

  int lastError_ = 0;
};

}  // namespace talvor
