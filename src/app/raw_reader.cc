#include "app/raw_reader.h"

#include <string>
#include <string_view>
#include <vector>

namespace talvor {

namespace {

constexpr std::size_t kBlockSize = std::size_t(1) << 20;

bool isOrdinary(unsigned char c) { return c >= 20 && c != ','; }

// Serves the file's bytes one at a time from large blocks.
class ByteStream {
 public:
  ByteStream(const BlockReader& read, uint64_t fileSize) : read_(read), fileSize_(fileSize), buf_(kBlockSize) {}

  // The byte at the current position, or -1 at the end of the file; -2 on a read error.
  int next() {
    if (pos_ >= bufStart_ + bufLen_) {
      if (!refill()) return failed_ ? -2 : -1;
    }
    return static_cast<unsigned char>(buf_[pos_++ - bufStart_]);
  }
  // Takes the run of ordinary bytes (none a comma, a carriage return or below
  // code 20) that starts at the current position and lies in the block read.
  std::string_view ordinaryRun() {
    const uint64_t start = pos_;
    const uint64_t end = bufStart_ + bufLen_;
    if (start >= end) return {};
    while (pos_ < end && isOrdinary(static_cast<unsigned char>(buf_[pos_ - bufStart_]))) ++pos_;
    return std::string_view(buf_.data() + (start - bufStart_), pos_ - start);
  }
  void skip() { ++pos_; }
  uint64_t position() const { return pos_; }
  uint64_t size() const { return fileSize_; }

 private:
  bool refill() {
    bufStart_ = pos_;
    bufLen_ = 0;
    int64_t got = read_(pos_, buf_.data(), buf_.size());
    if (got < 0) failed_ = true;
    if (got <= 0) return false;
    bufLen_ = static_cast<uint64_t>(got);
    return true;
  }

  const BlockReader& read_;
  uint64_t fileSize_;
  std::vector<char> buf_;
  uint64_t bufStart_ = 0;
  uint64_t bufLen_ = 0;
  uint64_t pos_ = 0;
  bool failed_ = false;
};

}  // namespace

RawReadReport readRawExport(const BlockReader& read, uint64_t fileSize, RawRowSink& sink) {
  RawReadReport report;
  ByteStream in(read, fileSize);
  std::string field;
  int column = 1;
  for (;;) {
    field.append(in.ordinaryRun());
    const uint64_t at = in.position();
    const int c = in.next();
    if (c == ',' || c == '\r') {
      if (column == 1) {
        sink.appendRow();
        ++report.rows;
      }
      if (column <= kStagingColumns) sink.storeField(column, field);
      field.clear();
      ++column;
      if (c == '\r') {
        if (column - 1 > kStagingColumns && report.linesOverColumns++ == 0)
          report.firstLineOverColumns = report.lines + 1;
        in.skip();
        column = 1;
        ++report.lines;
        sink.lineDone(report.lines);
      }
      continue;
    }
    if (c < 20) {  // end of file, read error, NUL or another control byte
      if (c >= 0) {
        report.stoppedAtControl = true;
        report.stopByte = c;
        report.stopLine = report.lines + 1;
        report.stopOffset = static_cast<int64_t>(at);
        report.bytesUnread = static_cast<int64_t>(in.size()) - static_cast<int64_t>(at) - 1;
        if (report.bytesUnread < 0) report.bytesUnread = 0;
      } else if (c == -2) {
        report.readFailed = true;
      }
      break;
    }
    field.push_back(static_cast<char>(c));
  }
  return report;
}

}  // namespace talvor
