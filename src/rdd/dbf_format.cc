#include "rdd/dbf_format.h"

#include <cstring>
#include <ctime>

#include "services/conversions.h"
#include "services/dates.h"
#include "services/text.h"

namespace talvor::dbf {

namespace {

uint16_t loadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t loadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
void storeU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void storeU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool kindOfLetter(char letter, FieldKind& kind) {
  switch (letter) {
    case 'C': kind = FieldKind::Character; return true;
    case 'N': case 'F': kind = FieldKind::Numeric; return true;
    case 'D': kind = FieldKind::Date; return true;
    case 'L': kind = FieldKind::Logical; return true;
    case 'M': kind = FieldKind::Memo; return true;
    case 'I': case '2': case '4': kind = FieldKind::Integer; return true;
    case 'B': case '8': kind = FieldKind::Double; return true;
    default: return false;
  }
}

// The length a field of this kind has in the record, from the descriptor bytes.
uint32_t lengthOnOpen(char letter, FieldKind kind, uint8_t lengthByte, uint8_t decimalsByte) {
  switch (kind) {
    case FieldKind::Character: return lengthByte + 256u * decimalsByte;
    case FieldKind::Date: return lengthByte == 3 ? 3 : 8;
    case FieldKind::Logical: return 1;
    case FieldKind::Integer:
      if (letter == '2') return 2;
      if (letter == '4') return 4;
      return lengthByte == 2 || lengthByte == 8 ? lengthByte : 4;
    case FieldKind::Double: return 8;
    default: return lengthByte;
  }
}

bool isBlank(const uint8_t* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (p[i] != ' ') return false;
  return true;
}

int64_t signedValue(const uint8_t* p, uint32_t n) {
  uint64_t u = 0;
  for (uint32_t i = 0; i < n; ++i) u |= static_cast<uint64_t>(p[i]) << (8 * i);
  if (n < 8 && (u & (uint64_t(1) << (8 * n - 1)))) u |= ~uint64_t(0) << (8 * n);
  return static_cast<int64_t>(u);
}

// Numeric field text in the form the engine writes it (blanks, an optional "-",
// at most 15 digits with at most one "." among them, nothing after) read without
// the general conversion: the digits and the power of ten are exact doubles, so
// their quotient is the correctly rounded value that the conversion gives too.
// False for any other text, which the general conversion reads.
bool readPlainNumber(const uint8_t* p, uint32_t length, Number& out) {
  static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  uint32_t i = 0;
  while (i < length && p[i] == ' ') ++i;
  const bool negative = i < length && p[i] == '-';
  if (negative) ++i;
  uint64_t digits = 0;
  int count = 0, fraction = 0;
  bool point = false;
  for (; i < length; ++i) {
    const uint8_t c = p[i];
    if (c >= '0' && c <= '9') {
      if (++count > 15) return false;
      digits = digits * 10 + (c - '0');
      if (point) ++fraction;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  if (point && count == 0) return false;
  out.isDouble = point;
  if (point) {
    const double magnitude = static_cast<double>(digits) / kPowersOfTen[fraction];
    out.real = negative ? -magnitude : magnitude;
  } else {
    out.whole = negative ? -static_cast<int64_t>(digits) : static_cast<int64_t>(digits);
  }
  return true;
}

}  // namespace

char FieldDef::reportedType() const {
  switch (kind) {
    case FieldKind::Character: return 'C';
    case FieldKind::Numeric: return 'N';
    case FieldKind::Date: return 'D';
    case FieldKind::Logical: return 'L';
    case FieldKind::Memo: return 'M';
    case FieldKind::Integer: return 'I';
    case FieldKind::Double: return 'B';
  }
  return 'U';
}

bool acceptedVersion(uint8_t v) { return v == kVersionPlain || v == kVersion30 || v == kVersionMemo || v == kVersionF5; }

bool headerHasMemo(const Header& h) {
  return h.version == kVersionMemo || h.version == kVersionF5 || (h.version == kVersion30 && h.memoFlag);
}

Header decodeHeader(const uint8_t* b) {
  Header h;
  h.version = b[0];
  h.year = b[1];
  h.month = b[2];
  h.day = b[3];
  h.recordCount = loadU32(b + 4);
  h.headerLength = loadU16(b + 8);
  h.recordLength = loadU16(b + 10);
  h.productionIndex = (b[28] & 1) != 0;
  h.memoFlag = (b[28] & 2) != 0;
  h.codePage = b[29];
  return h;
}

void encodeHeader(const Header& h, uint8_t* b) {
  std::memset(b, 0, kHeaderSize);
  b[0] = h.version;
  b[1] = h.year;
  b[2] = h.month;
  b[3] = h.day;
  storeU32(b + 4, h.recordCount);
  storeU16(b + 8, h.headerLength);
  storeU16(b + 10, h.recordLength);
  b[28] = static_cast<uint8_t>((h.productionIndex ? 1 : 0) | (h.version == kVersion30 && h.memoFlag ? 2 : 0));
  b[29] = h.codePage;
}

bool decodeDescriptors(const uint8_t* bytes, std::size_t size, uint8_t version, std::vector<FieldDef>& fields,
                       std::string& problem) {
  fields.clear();
  for (std::size_t at = 0; at + kDescriptorSize <= size; at += kDescriptorSize) {
    const uint8_t* d = bytes + at;
    if (d[0] == kHeaderTerminator) break;
    if (version == kVersion30 && d[11] == 0) break;
    char name[11];
    std::memcpy(name, d, 10);
    name[10] = 0;
    FieldDef f;
    f.name = upperAscii(std::string(name, strnlen(name, 10)));
    f.fileType = static_cast<char>(d[11] >= 'a' && d[11] <= 'z' ? d[11] - 'a' + 'A' : d[11]);
    if (!kindOfLetter(f.fileType, f.kind)) {
      problem = "unknown field type in descriptor " + std::to_string(fields.size() + 1);
      return false;
    }
    f.length = lengthOnOpen(f.fileType, f.kind, d[16], d[17]);
    f.decimals = f.kind == FieldKind::Numeric || f.kind == FieldKind::Double ? d[17] : 0;
    fields.push_back(std::move(f));
  }
  if (fields.empty()) {
    problem = "no field descriptors";
    return false;
  }
  return true;
}

void encodeDescriptor(const FieldDef& f, uint8_t* b) {
  std::memset(b, 0, kDescriptorSize);
  std::memcpy(b, f.name.data(), std::min<std::size_t>(f.name.size(), kMaxNameLength));
  b[11] = static_cast<uint8_t>(f.fileType);
  if (f.kind == FieldKind::Character) {
    b[16] = static_cast<uint8_t>(f.length & 0xFF);
    b[17] = static_cast<uint8_t>(f.length >> 8);
  } else {
    b[16] = static_cast<uint8_t>(f.length);
    b[17] = f.kind == FieldKind::Numeric || f.kind == FieldKind::Double ? f.decimals : 0;
  }
}

bool fieldFromSpec(const FieldSpec& field, FieldDef& out, std::string& problem) {
  const std::string type = upperAscii(field.type);
  if (type.empty()) {
    problem = "empty field type for " + field.name;
    return false;
  }
  char letter = type[0];
  FieldKind kind;
  if (!kindOfLetter(letter, kind)) {
    problem = std::string("unknown field type ") + letter + " for " + field.name;
    return false;
  }
  out = FieldDef{};
  out.name = upperAscii(field.name.substr(0, kMaxNameLength));
  out.kind = kind;
  out.fileType = letter == 'F' ? 'N' : letter == '2' || letter == '4' ? 'I' : letter == '8' ? 'B' : letter;
  switch (kind) {
    case FieldKind::Character: {
      const int64_t length = int64_t(field.length) + 256 * int64_t(field.decimals);
      if (length < 0 || length > 65535) {
        problem = "character field " + out.name + " longer than 65535";
        return false;
      }
      out.length = static_cast<uint32_t>(length);
      break;
    }
    case FieldKind::Numeric:
      if (field.length < 1 || field.length > 255 || field.decimals < 0 || field.decimals > 255) {
        problem = "numeric field " + out.name + " wider than 255";
        return false;
      }
      out.length = static_cast<uint32_t>(field.length);
      out.decimals = static_cast<uint8_t>(field.decimals);
      break;
    case FieldKind::Date: out.length = field.length == 3 ? 3 : 8; break;
    case FieldKind::Logical: out.length = 1; break;
    case FieldKind::Memo: out.length = field.length == 4 ? 4 : 10; break;
    case FieldKind::Integer:
      out.length = letter == '2' ? 2 : letter == '4' ? 4 : field.length == 2 || field.length == 8 ? field.length : 4;
      break;
    case FieldKind::Double:
      out.length = 8;
      out.decimals = static_cast<uint8_t>(field.decimals < 0 ? 0 : field.decimals > 255 ? 255 : field.decimals);
      break;
  }
  return true;
}

uint64_t layoutFields(std::vector<FieldDef>& fields) {
  uint64_t offset = 1;
  for (auto& f : fields) {
    f.offset = static_cast<uint32_t>(offset);
    offset += f.length;
  }
  return offset;
}

std::vector<uint8_t> newTableImage(const Header& header, const std::vector<FieldDef>& fields) {
  std::vector<uint8_t> image(kHeaderSize + kDescriptorSize * fields.size() + 3, 0);
  encodeHeader(header, image.data());
  for (std::size_t i = 0; i < fields.size(); ++i) encodeDescriptor(fields[i], image.data() + kHeaderSize + kDescriptorSize * i);
  const std::size_t end = kHeaderSize + kDescriptorSize * fields.size();
  image[end] = kHeaderTerminator;
  image[end + 1] = 0;
  image[end + 2] = kEofMark;
  return image;
}

void blankRecord(const std::vector<FieldDef>& fields, uint8_t* record, std::size_t recordLength) {
  std::memset(record, ' ', recordLength);
  for (const auto& f : fields) {
    const bool zeros = f.kind == FieldKind::Integer || f.kind == FieldKind::Double ||
                       (f.kind == FieldKind::Date && f.length == 3) || (f.kind == FieldKind::Memo && f.length == 4);
    if (zeros && f.offset + f.length <= recordLength) std::memset(record + f.offset, 0, f.length);
  }
}

Value blankValue(const FieldDef& f) {
  switch (f.kind) {
    case FieldKind::Character: return Value::text(std::string(f.length, ' '));
    case FieldKind::Memo: return Value::text("");
    case FieldKind::Numeric: return decodeField(f, reinterpret_cast<const uint8_t*>(std::string(f.length, ' ').data()));
    case FieldKind::Date: return Value::date(0);
    case FieldKind::Logical: return Value::logical(false);
    case FieldKind::Integer: return Value::integer(0, f.length == 2 ? 6 : f.length == 4 ? 11 : 20);
    case FieldKind::Double: return Value::real(0, 20 - (f.decimals > 0 ? f.decimals + 1 : 0), f.decimals);
  }
  return Value();
}

Value decodeField(const FieldDef& f, const uint8_t* p) {
  switch (f.kind) {
    case FieldKind::Character: return Value::text(std::string(reinterpret_cast<const char*>(p), f.length));
    case FieldKind::Numeric: {
      Number n;
      if (!readPlainNumber(p, f.length, n)) n = parseVal(std::string_view(reinterpret_cast<const char*>(p), f.length));
      const double v = n.asDouble();
      if (f.decimals > 0) return Value::real(v, static_cast<int>(f.length) - f.decimals - 1, f.decimals);
      if (f.length < 10 && !n.isDouble) return Value::integer(n.whole, static_cast<int>(f.length));
      return Value::real(v, static_cast<int>(f.length), 0);
    }
    case FieldKind::Date:
      if (f.length == 3) return Value::date(static_cast<int64_t>(p[0] | (p[1] << 8) | (p[2] << 16)));
      return Value::date(isBlank(p, 8) ? 0 : digitsToDay(std::string_view(reinterpret_cast<const char*>(p), 8)));
    case FieldKind::Logical:
      return Value::logical(p[0] == 'T' || p[0] == 't' || p[0] == 'Y' || p[0] == 'y');
    case FieldKind::Integer:
      return Value::integer(signedValue(p, f.length), f.length == 2 ? 6 : f.length == 4 ? 11 : 20);
    case FieldKind::Double: {
      double d;
      std::memcpy(&d, p, 8);
      return Value::real(d, 20 - (f.decimals > 0 ? f.decimals + 1 : 0), f.decimals);
    }
    case FieldKind::Memo: return Value();
  }
  return Value();
}

EncodeResult encodeField(const FieldDef& f, const Value& v, uint8_t* p) {
  switch (f.kind) {
    case FieldKind::Character: {
      if (!v.isText()) return EncodeResult::WrongKind;
      const std::string& s = v.asText();
      const std::size_t n = std::min<std::size_t>(s.size(), f.length);
      std::memcpy(p, s.data(), n);
      std::memset(p + n, ' ', f.length - n);
      return EncodeResult::Ok;
    }
    case FieldKind::Numeric: {
      if (!v.isNumber()) return EncodeResult::WrongKind;
      formatNumberInto(v.asNumber(), static_cast<int>(f.length), f.decimals, reinterpret_cast<char*>(p));
      return std::memchr(p, '*', f.length) == nullptr ? EncodeResult::Ok : EncodeResult::TooWide;
    }
    case FieldKind::Date: {
      if (!v.isDate()) return EncodeResult::WrongKind;
      if (f.length == 3) {
        const int64_t day = v.asDay();
        p[0] = static_cast<uint8_t>(day);
        p[1] = static_cast<uint8_t>(day >> 8);
        p[2] = static_cast<uint8_t>(day >> 16);
      } else {
        std::memcpy(p, dayToDigits(v.asDay()).data(), 8);
      }
      return EncodeResult::Ok;
    }
    case FieldKind::Logical:
      if (!v.isLogical()) return EncodeResult::WrongKind;
      p[0] = v.asLogical() ? 'T' : 'F';
      return EncodeResult::Ok;
    case FieldKind::Integer: {
      if (!v.isNumber()) return EncodeResult::WrongKind;
      const Number& n = v.asNumber();
      int64_t value;
      if (n.isDouble) {
        if (!(n.real > -9.223372e18 && n.real < 9.223372e18)) return EncodeResult::TooWide;
        value = static_cast<int64_t>(n.real);
      } else {
        value = n.whole;
      }
      const uint32_t needed = value >= -32768 && value <= 32767 ? 2 : value >= INT32_MIN && value <= INT32_MAX ? 4 : 8;
      if (needed > f.length) return EncodeResult::TooWide;
      const uint64_t u = static_cast<uint64_t>(value);
      for (uint32_t i = 0; i < f.length; ++i) p[i] = static_cast<uint8_t>(u >> (8 * i));
      return EncodeResult::Ok;
    }
    case FieldKind::Double: {
      if (!v.isNumber()) return EncodeResult::WrongKind;
      const double d = v.asDouble();
      std::memcpy(p, &d, 8);
      return EncodeResult::Ok;
    }
    case FieldKind::Memo: return EncodeResult::WrongKind;
  }
  return EncodeResult::WrongKind;
}

void today(uint8_t& year, uint8_t& month, uint8_t& day) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  year = static_cast<uint8_t>(local.tm_year);
  month = static_cast<uint8_t>(local.tm_mon + 1);
  day = static_cast<uint8_t>(local.tm_mday);
}

}  // namespace talvor::dbf
