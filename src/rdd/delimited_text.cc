#include "rdd/delimited_text.h"

#include <cstdlib>

#include "services/dates.h"

namespace talvor {

namespace {

constexpr std::size_t kReadBlock = std::size_t(1) << 20;
constexpr int kEndOfFileMark = 26;

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

std::vector<std::string> splitColumns(std::string_view line, char separator) {
  std::vector<std::string> columns;
  const std::size_t n = line.size();
  std::size_t i = 0;
  while (i < n) {
    if (line[i] == '"') {
      const std::size_t close = line.find('"', i + 1);
      if (close == std::string_view::npos) {
        columns.emplace_back(line.substr(i + 1));
        i = n;
      } else {
        columns.emplace_back(line.substr(i + 1, close - i - 1));
        i = close + 2;  // the byte after the closing quote is passed over
      }
    } else if (line[i] == separator) {
      columns.emplace_back();
      ++i;
    } else {
      const std::size_t sep = line.find(separator, i);
      const std::size_t end = sep == std::string_view::npos ? n : sep;
      columns.emplace_back(line.substr(i, end - i));
      i = end + 1;
    }
  }
  if (n > 0 && line[n - 1] == separator) columns.emplace_back();
  return columns;
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
  std::string run;
  int points = 0;
  for (; i < t.size() && ((t[i] >= '0' && t[i] <= '9') || t[i] == '.'); ++i) {
    if (t[i] == '.' && ++points == 2) break;
    run.push_back(t[i]);
  }
  const double v = run.empty() ? 0.0 : std::strtod(run.c_str(), nullptr);
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

Value FPARSEEX(const Value& file, const Value& separator) {
  ValueArray rows;
  if (!file.isText()) return Value::array();
  const char sep = separator.isText() && !separator.asText().empty() ? separator.asText()[0] : ',';
  std::unique_ptr<File> f = fileSystem().open(file.asText(), fmode::Read | fmode::ShareDenyNone);
  if (!f) return Value::array();
  TextLineReader reader(*f);
  std::string line;
  while (reader.next(line)) {
    ValueArray columns;
    for (auto& c : splitColumns(line, sep)) columns.push_back(Value::text(std::move(c)));
    rows.push_back(Value::array(std::move(columns)));
  }
  f->close();
  return Value::array(std::move(rows));
}

}  // namespace talvor
