// The NTX index file layout: 1024-byte pages, the header page (full and short
// form), tree pages with their offset table, and the byte order of keys.
//
// Everything here is pure: it works on byte buffers and knows nothing of files,
// work areas or the page cache. All integers on disk are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace talvor::ntx {

inline constexpr uint32_t kPageSize = 1024;
inline constexpr std::size_t kHeaderFieldsSize = 552;  // the header bytes that carry fields
inline constexpr std::size_t kShortHeaderSize = 16;    // signature .. key width
inline constexpr int kMaxKeyWidth = 256;
inline constexpr std::size_t kMaxExpressionLength = 255;  // plus a NUL in the 256-byte field
inline constexpr std::size_t kOrderNameField = 12;
inline constexpr uint16_t kSignature = 6;
inline constexpr uint16_t kSignatureCondition = 1;  // added when a condition is present
inline constexpr uint16_t kSignatureLockScheme2 = 0x20;

// Maximum keys per page for a key width: 1018 / (w + 10) - 1, made even when odd
// and above 2. Even and at least 2 for every width 1..256.
int maxKeysPerPage(int keyWidth);

// True when a page of that key width and key capacity fits in 1024 bytes (the
// offset table plus m + 1 items). Headers read from disk may claim any values.
bool pageLayoutFits(int keyWidth, int maxKeys);

// The header page's fields. Texts hold at most what their fields can carry
// (expressions 255 bytes, order name 11 bytes); longer texts are cut on encode.
struct NtxHeader {
  uint16_t signature = kSignature;
  uint16_t version = 1;
  uint32_t rootPage = 0;
  uint32_t freeListHead = 0;
  uint16_t itemSize = 0;
  uint16_t keyWidth = 0;
  uint16_t keyDecimals = 0;
  uint16_t maxKeys = 0;
  uint16_t halfPage = 0;
  std::string keyExpression;
  uint8_t unique = 0;
  uint8_t descending = 0;
  std::string condition;
  std::string orderName;
  uint8_t custom = 0;

  // A header for a new order: item size, maximum keys and half page follow from
  // the width; the key expression is stored upper-cased.
  static NtxHeader forNewOrder(int keyWidth, int keyDecimals, std::string_view keyExpression);
};

// The full form: the 552 field bytes followed by 472 zero bytes.
void encodeHeader(const NtxHeader& header, uint8_t out[kPageSize]);
// The short form: the first 16 bytes (signature, version, root, free list head,
// item size, key width).
void encodeShortHeader(const NtxHeader& header, uint8_t out[kShortHeaderSize]);
// Decodes the fields from at least 552 bytes; false when fewer are given.
bool decodeHeader(const uint8_t* data, std::size_t size, NtxHeader& out);
// Decodes the short form into `out` (other fields untouched); false when short.
bool decodeShortHeader(const uint8_t* data, std::size_t size, NtxHeader& out);

// The key expression as stored: letters a-z upper-cased, nothing else changed.
std::string upperKeyExpression(std::string_view text);

inline uint16_t loadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t loadU32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void storeU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void storeU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// A view of one 1024-byte tree page. Item i lives at the byte offset that entry i
// of the offset table names; inserts and removes rotate table entries and never
// move item bytes. The view never reads or writes outside the buffer: an item
// whose offset lies outside the page reads as zero and ignores writes (use
// itemsInBounds() to tell a damaged page).
class PageView {
 public:
  PageView(uint8_t* data, int keyWidth, int maxKeys)
      : data_(data), keyWidth_(keyWidth), maxKeys_(maxKeys) {}

  int keyCount() const { return loadU16(data_); }
  void setKeyCount(int n) { storeU16(data_, static_cast<uint16_t>(n)); }
  int keyWidth() const { return keyWidth_; }
  int maxKeys() const { return maxKeys_; }
  int itemSize() const { return keyWidth_ + 8; }

  // Byte offset of item i (0 <= i <= maxKeys) within the page.
  uint16_t itemOffset(int i) const { return loadU16(data_ + 2 + 2 * i); }
  bool itemInBounds(int i) const;
  // True when the key count is at most the maximum and items 0..count lie inside
  // the page.
  bool itemsInBounds() const;

  uint32_t child(int i) const;
  uint32_t record(int i) const;
  // The key bytes of item i, or null when the item lies outside the page.
  const uint8_t* key(int i) const;
  void setChild(int i, uint32_t page);
  void setItem(int i, uint32_t record, const uint8_t* key);
  bool isLeaf() const { return child(0) == 0; }

  // Zeroes the page and lays out the offset table: entry i = 2m + 4 + i * (w + 8).
  void format();
  // Inserts (child, record, key) at position p (0 <= p <= count < maxKeys).
  void insertItem(int p, uint32_t child, uint32_t record, const uint8_t* key);
  // Removes the item at position p (0 <= p < count); its table entry becomes the
  // spare after the remaining items.
  void removeItem(int p);

 private:
  uint8_t* item(int i) const;  // null when outside the page
  // True when an offset table of that many entries fits in the page.
  static bool tableHolds(int entries) { return 2 + 2 * entries <= static_cast<int>(kPageSize); }
  uint8_t* data_;
  int keyWidth_;
  int maxKeys_;
};

// Keys compare as unsigned bytes over the key width.
inline int compareKeys(const uint8_t* a, const uint8_t* b, int width) {
  return std::memcmp(a, b, static_cast<std::size_t>(width));
}

// The seek comparison of a sought value with a key (negative: the sought value
// is smaller). Bytes beyond the shorter length count as equal when they are all
// blanks; otherwise the longer sought value is greater, and a shorter sought value
// matches as a prefix unless `exact` is set (then it is smaller). An empty key is
// smaller than any non-empty sought value; an empty sought value is smaller than
// anything. `descending` reverses every result.
int seekCompare(std::string_view sought, std::string_view key, bool exact, bool descending);

// Turns STR's text of a number into numeric key bytes: leading blanks become
// "0"; a leading minus becomes "0", the first byte becomes "," and every digit
// from the second byte on becomes the byte 92 - digit, so that negative values
// sort first under byte comparison. Asterisks and points stay.
std::string numericKeyFromText(std::string text);

}  // namespace talvor::ntx
