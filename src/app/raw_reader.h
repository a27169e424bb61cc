// The raw reader of the SAP text exports: splits the bytes of an export at commas
// and carriage returns into staging rows, one column per field, all as text.
//
// It knows nothing of quotes or headers. A comma or carriage return ends a field;
// the byte after each carriage return is passed over unseen (the line feed of a CR
// LF pair); any byte below code 20 other than 13 ends the data, and so do a NUL byte
// and the end of the file. Columns above 93 are dropped. The file is read in large
// blocks, but every byte is interpreted as if it were read one at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace talvor {

inline constexpr int kStagingColumns = 93;

// Where the reader puts what it finds.
class RawRowSink {
 public:
  virtual ~RawRowSink() = default;
  // A field of column 1 ends: a new staging row starts (before storeField(1, ...)).
  virtual void appendRow() = 0;
  // Column 1..93 of the row appended last receives its text.
  virtual void storeField(int column, std::string_view text) = 0;
  // A carriage return has been met; `lines` is the count so far.
  virtual void lineDone(int64_t lines) = 0;
};

// Reads up to n bytes at offset into buf; returns the count (0 at the end, -1 on error).
using BlockReader = std::function<int64_t(uint64_t offset, char* buf, std::size_t n)>;

// What the reading met, for the run's summary: the data written does not depend on it.
struct RawReadReport {
  int64_t lines = 0;            // carriage returns met
  int64_t rows = 0;             // staging rows appended
  bool stoppedAtControl = false;  // a control byte or NUL ended the data before the end
  int stopByte = 0;             // that byte's code
  int64_t stopLine = 0;         // 1-based line on which it stood
  int64_t stopOffset = 0;       // its byte offset in the file
  int64_t bytesUnread = 0;      // bytes after it that were never read
  bool readFailed = false;      // a read error ended the data
  int64_t linesOverColumns = 0; // lines with more than 93 columns
  int64_t firstLineOverColumns = 0;
};

// Reads the export through `read` (a file of `fileSize` bytes) into `sink`.
RawReadReport readRawExport(const BlockReader& read, uint64_t fileSize, RawRowSink& sink);

}  // namespace talvor
