#include "rdd/dbfntx/ntx_format.h"

#include <algorithm>

namespace talvor::ntx {

int maxKeysPerPage(int keyWidth) {
  int m = 1018 / (keyWidth + 10) - 1;
  if (m % 2 != 0 && m > 2) --m;
  return m;
}

bool pageLayoutFits(int keyWidth, int maxKeys) {
  if (keyWidth < 1 || keyWidth > kMaxKeyWidth || maxKeys < 1) return false;
  return 2 * maxKeys + 4 + (keyWidth + 8) * (maxKeys + 1) <= static_cast<int>(kPageSize);
}

NtxHeader NtxHeader::forNewOrder(int keyWidth, int keyDecimals, std::string_view keyExpression) {
  NtxHeader h;
  h.itemSize = static_cast<uint16_t>(keyWidth + 8);
  h.keyWidth = static_cast<uint16_t>(keyWidth);
  h.keyDecimals = static_cast<uint16_t>(keyDecimals);
  h.maxKeys = static_cast<uint16_t>(maxKeysPerPage(keyWidth));
  h.halfPage = static_cast<uint16_t>(h.maxKeys / 2);
  h.keyExpression = upperKeyExpression(keyExpression);
  return h;
}

namespace {

void putText(uint8_t* field, std::size_t fieldSize, const std::string& text) {
  std::size_t n = std::min(text.size(), fieldSize - 1);
  std::memcpy(field, text.data(), n);
}

std::string getText(const uint8_t* field, std::size_t fieldSize) {
  const void* nul = std::memchr(field, 0, fieldSize);
  std::size_t n = nul ? static_cast<const uint8_t*>(nul) - field : fieldSize;
  return std::string(reinterpret_cast<const char*>(field), n);
}

}  // namespace

void encodeShortHeader(const NtxHeader& h, uint8_t out[kShortHeaderSize]) {
  storeU16(out + 0, h.signature);
  storeU16(out + 2, h.version);
  storeU32(out + 4, h.rootPage);
  storeU32(out + 8, h.freeListHead);
  storeU16(out + 12, h.itemSize);
  storeU16(out + 14, h.keyWidth);
}

void encodeHeader(const NtxHeader& h, uint8_t out[kPageSize]) {
  std::memset(out, 0, kPageSize);
  encodeShortHeader(h, out);
  storeU16(out + 16, h.keyDecimals);
  storeU16(out + 18, h.maxKeys);
  storeU16(out + 20, h.halfPage);
  putText(out + 22, 256, h.keyExpression);
  out[278] = h.unique;
  out[280] = h.descending;
  putText(out + 282, 256, h.condition);
  putText(out + 538, kOrderNameField, h.orderName);
  out[550] = h.custom;
}

bool decodeShortHeader(const uint8_t* data, std::size_t size, NtxHeader& h) {
  if (size < kShortHeaderSize) return false;
  h.signature = loadU16(data + 0);
  h.version = loadU16(data + 2);
  h.rootPage = loadU32(data + 4);
  h.freeListHead = loadU32(data + 8);
  h.itemSize = loadU16(data + 12);
  h.keyWidth = loadU16(data + 14);
  return true;
}

bool decodeHeader(const uint8_t* data, std::size_t size, NtxHeader& h) {
  if (size < kHeaderFieldsSize) return false;
  decodeShortHeader(data, size, h);
  h.keyDecimals = loadU16(data + 16);
  h.maxKeys = loadU16(data + 18);
  h.halfPage = loadU16(data + 20);
  h.keyExpression = getText(data + 22, 256);
  h.unique = data[278];
  h.descending = data[280];
  h.condition = getText(data + 282, 256);
  h.orderName = getText(data + 538, kOrderNameField);
  h.custom = data[550];
  return true;
}

std::string upperKeyExpression(std::string_view text) {
  std::string s(text);
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// --- PageView ---------------------------------------------------------------

bool PageView::itemInBounds(int i) const {
  if (i < 0 || i > maxKeys_ || !tableHolds(i + 1)) return false;
  return itemOffset(i) + static_cast<std::size_t>(itemSize()) <= kPageSize;
}

bool PageView::itemsInBounds() const {
  int n = keyCount();
  if (n > maxKeys_) return false;
  for (int i = 0; i <= n; ++i)
    if (!itemInBounds(i)) return false;
  return true;
}

uint8_t* PageView::item(int i) const { return itemInBounds(i) ? data_ + itemOffset(i) : nullptr; }

uint32_t PageView::child(int i) const {
  const uint8_t* p = item(i);
  return p ? loadU32(p) : 0;
}

uint32_t PageView::record(int i) const {
  const uint8_t* p = item(i);
  return p ? loadU32(p + 4) : 0;
}

const uint8_t* PageView::key(int i) const {
  const uint8_t* p = item(i);
  return p ? p + 8 : nullptr;
}

void PageView::setChild(int i, uint32_t page) {
  if (uint8_t* p = item(i)) storeU32(p, page);
}

void PageView::setItem(int i, uint32_t rec, const uint8_t* keyBytes) {
  if (uint8_t* p = item(i)) {
    storeU32(p + 4, rec);
    std::memcpy(p + 8, keyBytes, static_cast<std::size_t>(keyWidth_));
  }
}

void PageView::format() {
  std::memset(data_, 0, kPageSize);
  const int first = 2 * maxKeys_ + 4;
  for (int i = 0; i <= maxKeys_; ++i) {
    if (!tableHolds(i + 1)) break;
    int offset = first + i * itemSize();
    storeU16(data_ + 2 + 2 * i, static_cast<uint16_t>(offset));
  }
}

void PageView::insertItem(int p, uint32_t childPage, uint32_t rec, const uint8_t* keyBytes) {
  const int n = keyCount();
  if (p < 0 || p > n || n >= maxKeys_ || !tableHolds(n + 2)) return;
  // Entries p..n move up one place; the spare entry n + 1 takes position p.
  uint16_t spare = itemOffset(n + 1);
  std::memmove(data_ + 2 + 2 * (p + 1), data_ + 2 + 2 * p, static_cast<std::size_t>(2 * (n + 1 - p)));
  storeU16(data_ + 2 + 2 * p, spare);
  setChild(p, childPage);
  setItem(p, rec, keyBytes);
  setKeyCount(n + 1);
}

void PageView::removeItem(int p) {
  const int n = keyCount();
  if (p < 0 || p >= n || !tableHolds(n + 1)) return;
  // Entries p+1..n move down one place; the removed entry goes to position n.
  uint16_t removed = itemOffset(p);
  std::memmove(data_ + 2 + 2 * p, data_ + 2 + 2 * (p + 1), static_cast<std::size_t>(2 * (n - p)));
  storeU16(data_ + 2 + 2 * n, removed);
  setKeyCount(n - 1);
}

// --- Key comparison and encoding ------------------------------------------

namespace {
bool allBlanks(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c == ' '; });
}
}  // namespace

int seekCompare(std::string_view a, std::string_view k, bool exact, bool descending) {
  int result;
  if (a.empty()) {
    result = -1;
  } else if (k.empty()) {
    result = 1;
  } else {
    std::size_t n = std::min(a.size(), k.size());
    int c = std::memcmp(a.data(), k.data(), n);
    if (c != 0) {
      result = c < 0 ? -1 : 1;
    } else if (a.size() == k.size()) {
      result = 0;
    } else if (a.size() > k.size()) {
      result = allBlanks(a.substr(n)) ? 0 : 1;
    } else {
      result = allBlanks(k.substr(n)) ? 0 : (exact ? -1 : 0);
    }
  }
  return descending ? -result : result;
}

std::string numericKeyFromText(std::string s) {
  std::size_t i = 0;
  while (i < s.size() && s[i] == ' ') s[i++] = '0';
  if (i < s.size() && s[i] == '-') {
    s[i] = '0';
    s[0] = ',';
    for (std::size_t j = 1; j < s.size(); ++j)
      if (s[j] >= '0' && s[j] <= '9') s[j] = static_cast<char>(92 - s[j]);
  }
  return s;
}

}  // namespace talvor::ntx
