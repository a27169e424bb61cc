// The DBF data file: 32-byte header, 32-byte field descriptors, 0x0D 0x00 header
// terminator, fixed-length records, and the 0x1A end-of-file mark. Pure byte
// layout: no files, no work areas. All integers are little-endian.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "services/value.h"

namespace talvor::dbf {

inline constexpr uint8_t kVersionPlain = 0x03;
inline constexpr uint8_t kVersionMemo = 0x83;
inline constexpr uint8_t kVersion30 = 0x30;
inline constexpr uint8_t kVersionF5 = 0xF5;
inline constexpr uint8_t kHeaderTerminator = 0x0D;
inline constexpr uint8_t kEofMark = 0x1A;
inline constexpr std::size_t kHeaderSize = 32;
inline constexpr std::size_t kDescriptorSize = 32;
inline constexpr std::size_t kMaxNameLength = 10;

// The seven value kinds a field can hold.
enum class FieldKind : uint8_t { Character, Numeric, Date, Logical, Memo, Integer, Double };

struct FieldDef {
  std::string name;       // upper case, at most 10 characters
  char fileType = 'C';    // the letter in the file ("F" stays "F")
  FieldKind kind = FieldKind::Character;
  uint32_t length = 0;    // in the record (a C field up to 65535)
  uint8_t decimals = 0;   // N, F and B; 0 otherwise
  uint32_t offset = 0;    // in the record, after the deletion flag

  // The letter reported to the language: C N D L M I B.
  char reportedType() const;
};

// A field as given on create (a structure-array row): any case, F/2/4/8 allowed.
struct FieldSpec {
  std::string name;
  std::string type;
  int length = 0;
  int decimals = 0;
};

struct Header {
  uint8_t version = kVersionPlain;
  uint8_t year = 0, month = 0, day = 0;  // last update: year - 1900, 1-12, 1-31
  uint32_t recordCount = 0;
  uint16_t headerLength = 0;
  uint16_t recordLength = 0;
  bool productionIndex = false;  // bit 0 of the flags byte
  bool memoFlag = false;         // bit 1, meaningful for version 0x30 only
  uint8_t codePage = 0;
};

// True for the four version bytes a table may have.
bool acceptedVersion(uint8_t version);
// Whether a header announces memo fields (0x83, 0xF5, or 0x30 with bit 1).
bool headerHasMemo(const Header& h);

// Decodes the 32 header bytes; the caller checks the version.
Header decodeHeader(const uint8_t* bytes);
// Rebuilds all 32 bytes: reserved bytes and unknown flag bits become zero.
void encodeHeader(const Header& h, uint8_t* bytes);

// Parses the descriptor area (the bytes after the header, as many as the header
// length announces). Returns false, with `problem` set, when there is no
// descriptor before the terminator or a type letter is unknown.
bool decodeDescriptors(const uint8_t* bytes, std::size_t size, uint8_t version,
                       std::vector<FieldDef>& fields, std::string& problem);
void encodeDescriptor(const FieldDef& f, uint8_t* bytes);

// Turns a creation field into a field definition (upper-cased letter mapped, length
// per the type rules). Returns false with `problem` for a letter or length the
// file cannot hold.
bool fieldFromSpec(const FieldSpec& field, FieldDef& out, std::string& problem);
// Assigns offsets; returns the record length (1 + sum of lengths).
uint64_t layoutFields(std::vector<FieldDef>& fields);

// The complete file of a new, empty table: header, descriptors, 0x0D 0x00 0x1A.
std::vector<uint8_t> newTableImage(const Header& header, const std::vector<FieldDef>& fields);

// Fills a record buffer with the blank record (deletion flag " ").
void blankRecord(const std::vector<FieldDef>& fields, uint8_t* record, std::size_t recordLength);

// Field values. Memo fields are not decoded here (the memo layer owns them).
Value decodeField(const FieldDef& f, const uint8_t* fieldBytes);
// The blank value of a kind: spaces, 0, the empty date, false.
Value blankValue(const FieldDef& f);

enum class EncodeResult { Ok, WrongKind, TooWide };
// Encodes `v` into the field's bytes. WrongKind leaves the bytes unchanged;
// TooWide leaves a numeric field full of "*" and an integer field unchanged.
EncodeResult encodeField(const FieldDef& f, const Value& v, uint8_t* fieldBytes);

// Today's local date as header bytes.
void today(uint8_t& year, uint8_t& month, uint8_t& day);

}  // namespace talvor::dbf
