// Delimited text: the text-mode line reader and the column splitter behind
// FPARSEEX and the delimited import, and the value forms of the export.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "rdd/file_system.h"
#include "services/value.h"

namespace talvor {

class DbfArea;

inline constexpr std::size_t kTextLineLimit = 4096;

// Reads a file as text lines, in large blocks, never holding more than one line:
// CR LF counts as LF and any other CR is dropped; LF ends a line; byte 26 ends the
// file; a last line without LF counts only when it is not empty; a line longer
// than 4096 bytes is cut into 4096-byte pieces, each a line of its own; a NUL
// ends the usable part of its line (its bytes still count toward the 4096).
class TextLineReader {
 public:
  explicit TextLineReader(File& file);
  // The next line (its usable part); false when there is none.
  bool next(std::string& line);

 private:
  int nextByte();  // -1 at the end of the file
  int peekByte();

  File& file_;
  std::vector<char> buf_;
  std::size_t pos_ = 0;
  std::size_t len_ = 0;
  uint64_t offset_ = 0;
  bool ended_ = false;
};

// Splits one line into column texts at `separator`: a column that starts with a
// double quote runs to the next double quote and the byte after that quote is
// passed over; a separator at the end adds an empty column; an empty line has
// no columns.
std::vector<std::string> splitColumns(std::string_view line, char separator);
// The same columns as views into `line`, into `columns` (cleared first).
void splitColumns(std::string_view line, char separator, std::vector<std::string_view>& columns);

// A column text as the value of a field of type `typeLetter`: D from eight
// digits, L true for a first letter T, N by VAL of the point case, anything
// else the text itself.
Value delimitedValue(std::string_view text, char typeLetter);
// The same column stored straight into field k of the table's current record,
// as the bytes writeField leaves for delimitedValue's value, where the field
// takes that value as its own encoding; false where writeField must run.
bool storeDelimited(DbfArea& table, int k, std::string_view text, char typeLetter);

// FPARSEEX(file, separator): one array of column texts per line of the file; an
// empty array when it cannot be opened.
Value FPARSEEX(const Value& file, const Value& separator = {});

}  // namespace talvor
