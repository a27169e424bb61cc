#include "rdd/delimited_text.h"

#include <algorithm>
#include <cstdlib>

#include "rdd/dbf_area.h"
#include "services/dates.h"

namespace talvor {

namespace {

constexpr std::size_t kReadBlock = std::size_t(1) << 20;
constexpr int kEndOfFileMark = 26;

// The bytes the line reader must look at one by one: LF, CR, NUL and the end mark.
bool isMarkByte(unsigned char c) { return c <= kEndOfFileMark && (c == '\n' || c == '\r' || c == 0 || c == kEndOfFileMark); }

}  // namespace

TextLineReader::TextLineReader(File& file) : file_(file), buf_(kReadBlock) {}

int TextLineReader::peekByte() {
  if (ended_) return -1;
  if (pos_ == len_) {
    const int64_t got = file_.readAt(offset_, buf_.data(), buf_.size());
    if (got <= 0) {
      ended_ = true;
      return -1;
    }
    offset_ += static_cast<uint64_t>(got);
    len_ = static_cast<std::size_t>(got);
    pos_ = 0;
  }
  const int c = static_cast<unsigned char>(buf_[pos_]);
  if (c == kEndOfFileMark) {
    ended_ = true;
    return -1;
  }
  return c;
}

int TextLineReader::nextByte() {
  const int c = peekByte();
  if (c >= 0) ++pos_;
  return c;
}

bool TextLineReader::next(std::string& line) {
  line.clear();
  std::size_t stored = 0;  // bytes of this piece, NULs and what follows them included
  bool usable = true;
  bool any = false;
  for (;;) {
    // Runs of ordinary bytes that fit the piece are taken in one step; the bytes
    // with a meaning of their own, and the byte after a full piece, go one by one.
    if (pos_ < len_ && stored < kTextLineLimit) {
      const char* run = buf_.data() + pos_;
      const std::size_t room = std::min(len_ - pos_, kTextLineLimit - stored);
      std::size_t k = 0;
      while (k < room && !isMarkByte(static_cast<unsigned char>(run[k]))) ++k;
      if (k > 0) {
        if (usable) line.append(run, k);
        stored += k;
        pos_ += k;
        any = true;
        continue;
      }
    }
    int c = nextByte();
    if (c < 0) return any;
    if (c == '\r') {
      if (peekByte() != '\n') continue;  // a lone CR is dropped
      c = nextByte();
    }
    if (c == '\n') return true;
    if (stored == kTextLineLimit) {  // the piece is full: this byte starts the next one
      --pos_;
      return true;
    }
    any = true;
    ++stored;
    if (c == 0) usable = false;
    if (usable) line.push_back(static_cast<char>(c));
  }
}

void splitColumns(std::string_view line, char separator, std::vector<std::string_view>& columns) {
  columns.clear();
  const std::size_t n = line.size();
  std::size_t i = 0;
  while (i < n) {
    if (line[i] == '"') {
      const std::size_t close = line.find('"', i + 1);
      if (close == std::string_view::npos) {
        columns.push_back(line.substr(i + 1));
        i = n;
      } else {
        columns.push_back(line.substr(i + 1, close - i - 1));
        i = close + 2;  // the byte after the closing quote is passed over
      }
    } else if (line[i] == separator) {
      columns.push_back(std::string_view());
      ++i;
    } else {
      const std::size_t sep = line.find(separator, i);
      const std::size_t end = sep == std::string_view::npos ? n : sep;
      columns.push_back(line.substr(i, end - i));
      i = end + 1;
    }
  }
  if (n > 0 && line[n - 1] == separator) columns.push_back(std::string_view());
}

std::vector<std::string> splitColumns(std::string_view line, char separator) {
  std::vector<std::string_view> views;
  splitColumns(line, separator, views);
  return std::vector<std::string>(views.begin(), views.end());
}

namespace {

int64_t eightDigitDate(std::string_view t) {
  if (t.size() < 8) return 0;
  int c[8];
  for (int k = 0; k < 8; ++k) c[k] = static_cast<unsigned char>(t[static_cast<std::size_t>(k)]) - '0';
  for (int k = 0; k < 4; ++k)
    if (c[k] < 0) return 0;  // a character below "0" in the year
  const int year = 1000 * c[0] + 100 * c[1] + 10 * c[2] + c[3];
  const int month = 10 * c[4] + c[5];
  const int day = 10 * c[6] + c[7];
  return dayFromYmd(year, month, day);
}

// VAL of a text with a point: white space skipped, an optional sign, the longest
// run of digits and points read up to its second point.
double pointValue(std::string_view t) {
  std::size_t i = 0;
  while (i < t.size() && (t[i] == ' ' || t[i] == '\t' || t[i] == '\n' || t[i] == '\v' || t[i] == '\f' || t[i] == '\r'))
    ++i;
  bool negative = false;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) negative = t[i++] == '-';
  const std::size_t start = i;
  uint64_t digits = 0;   // the run's digits as one whole number
  int significant = 0;   // digits counted in `digits`, leading zeros not
  int fraction = 0;      // digits after the point
  bool point = false;
  for (; i < t.size(); ++i) {
    const char c = t[i];
    if (c == '.') {
      if (point) break;
      point = true;
    } else if (c >= '0' && c <= '9') {
      if (significant > 0 || c != '0') ++significant;
      if (significant <= 19) digits = digits * 10 + uint64_t(c - '0');
      if (point) ++fraction;
    } else {
      break;
    }
  }
  double v = 0;
  // Both operands exact in a double: the quotient is the correctly rounded value,
  // the one strtod gives. Longer runs go through strtod itself.
  static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                       1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (significant <= 19 && digits <= (uint64_t(1) << 53) && fraction <= 22) {
    v = double(digits) / kPowers[fraction];
  } else {
    const std::string run(t.substr(start, i - start));
    v = std::strtod(run.c_str(), nullptr);
  }
  return negative ? -v : v;
}

}  // namespace

Value delimitedValue(std::string_view text, char typeLetter) {
  switch (typeLetter) {
    case 'D': return Value::date(eightDigitDate(text));
    case 'L': return Value::logical(!text.empty() && (text[0] == 'T' || text[0] == 't'));
    case 'N': return Value::real(pointValue(text));
    default: return Value::text(text);
  }
}

bool storeDelimited(DbfArea& table, int k, std::string_view text, char typeLetter) {
  switch (typeLetter) {
    case 'D': return table.storeDay(k, eightDigitDate(text));
    case 'L': return table.storeLogical(k, !text.empty() && (text[0] == 'T' || text[0] == 't'));
    case 'N': return table.storeNumber(k, Value::real(pointValue(text)).asNumber());
    default: return table.storeText(k, text);
  }
}

Value FPARSEEX(const Value& file, const Value& separator) {
  ValueArray rows;
  if (!file.isText()) return Value::array();
  const char sep = separator.isText() && !separator.asText().empty() ? separator.asText()[0] : ',';
  std::unique_ptr<File> f = fileSystem().open(file.asText(), fmode::Read | fmode::ShareDenyNone);
  if (!f) return Value::array();
  TextLineReader reader(*f);
  std::string line;
  std::vector<std::string_view> views;
  while (reader.next(line)) {
    splitColumns(line, sep, views);
    ValueArray columns;
    columns.reserve(views.size());
    for (std::string_view c : views) columns.push_back(Value::text(c));
    rows.push_back(Value::array(std::move(columns)));
  }
  f->close();
  return Value::array(std::move(rows));
}

}  // namespace talvor
