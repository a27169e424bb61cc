#include "rdd/ntx_area.h"

#include <algorithm>
#include <cstdio>

#include "rdd/dbfntx/key_sorter.h"
#include "rdd/dbfntx/ntx_build.h"
#include "rdd/dbfntx/ntx_check.h"
#include "services/runtime.h"
#include "services/text.h"

namespace talvor {

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

bool hasExtension(const std::string& name) {
  const std::size_t slash = name.find_last_of("/\\");
  const std::size_t dot = name.find_last_of('.');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

std::string withoutExtension(const std::string& name) {
  const std::size_t slash = name.find_last_of("/\\");
  const std::size_t dot = name.find_last_of('.');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash) ? name.substr(0, dot) : name;
}

std::string baseName(const std::string& name) {
  const std::size_t slash = name.find_last_of("/\\");
  return withoutExtension(slash == std::string::npos ? name : name.substr(slash + 1));
}

Value evaluateKey(const NtxOrder& order) {
  if (order.keyBlock.isBlock()) return order.keyBlock.call();
  return order.key ? order.key->eval() : Value();
}

// The keys of an index file in key order, read through the tree checker's walk.
bool loadKeys(File& file, NtxOrder& order) {
  order.keys.clear();
  const ntx::NtxCheckReport report = ntx::checkNtx(file, [&](uint32_t record, const uint8_t* key, int width) {
    order.keys.emplace_back(std::string(reinterpret_cast<const char*>(key), static_cast<std::size_t>(width)), record);
  });
  return report.headerRead;
}

}  // namespace

NtxArea::NtxArea(std::string driverName) : DbtArea(std::move(driverName)) {}

// ---- orders -------------------------------------------------------------------

bool NtxArea::buildOrder(NtxOrder& order) {
  std::unique_ptr<File> file = fileSystem().create(order.bagName);
  if (!file) return false;
  ntx::KeySorter sorter(order.shape.width, order.unique);
  const uint32_t count = countRecords();
  std::string bytes;
  bool ok = true;
  for (uint32_t r = 1; r <= count && ok; ++r) {
    DbtArea::goToRecord(r);
    if (!ntx::keyBytesOf(evaluateKey(order), order.shape, bytes)) {
      std::fputs("ntxCreateOrder\n", stdout);
      continue;
    }
    if (static_cast<int>(bytes.size()) != order.shape.width) {
      ok = false;
      break;
    }
    sorter.add(r, reinterpret_cast<const uint8_t*>(bytes.data()));
  }
  if (ok) {
    ntx::NtxHeader header = ntx::NtxHeader::forNewOrder(order.shape.width, order.shape.decimals, order.keyText);
    header.unique = order.unique;
    ok = ntx::writeIndexTree(*file, header, sorter) && loadKeys(*file, order);
  }
  file->close();
  return ok;
}

bool NtxArea::orderCreate(const std::string& bag, const std::string& keyText, const Value& keyBlock, bool unique,
                          const std::string& orderName) {
  if (!writeBack()) return false;
  orderListClear();
  if (keyText.size() > kMaxStoredExpression) {
    RuntimeError e = makeError(driverName(), gen::Limit, 1006, "ORDCREATE");
    e.description = "Key expression longer than 255 characters";
    raiseError(e);
    return false;
  }
  NtxOrder order;
  order.keyText = upperAscii(keyText);
  order.keyBlock = keyBlock;
  if (!keyBlock.isBlock()) {
    CompileResult compiled = compileExpression(keyText);
    if (!compiled.ok()) return false;
    order.key = std::shared_ptr<CompiledExpr>(compiled.expr.release());
  }
  const std::optional<ntx::KeyShape> shape = ntx::keyShapeOf(evaluateKey(order));
  if (!shape) return false;
  if (shape->width == 0) {
    RuntimeError e = makeError(driverName(), gen::DataWidth, 1026);
    raiseError(e);
    return false;
  }
  order.shape = *shape;
  order.unique = unique;
  std::string file = bag.empty() ? withoutExtension(dataFileName()) : bag;
  if (!hasExtension(file)) file += ".ntx";
  if (!bag.empty() && file.find_first_of("/\\") == std::string::npos && !rt().settings.defaultFolder.empty())
    file = rt().settings.defaultFolder + "/" + file;
  order.bagName = file;
  order.name = !orderName.empty() ? orderName.substr(0, 10) : baseName(file);
  const uint32_t recno = currentRecord();
  const bool built = buildOrder(order);
  if (!built) {
    DbtArea::goToRecord(recno);
    return false;
  }
  orders_.push_back(std::move(order));
  controlling_ = 1;
  return goFirst();
}

bool NtxArea::orderListAdd(const std::string& bag) {
  if (!writeBack()) return false;
  if (bag.empty()) return false;
  std::string name = hasExtension(bag) ? bag : bag + ".ntx";
  const int mode = (isReadOnly() && !isShared() ? fmode::Read : fmode::ReadWrite) |
                   (isShared() ? fmode::ShareDenyNone : fmode::ShareExclusive);
  std::unique_ptr<File> file;
  for (;;) {
    file = fileSystem().open(name, mode);
    if (file) break;
    RuntimeError e = makeError(driverName(), gen::Open, 1003);
    e.fileName = name;
    e.osCode = fileSystem().lastError();
    e.canRetry = e.canDefault = true;
    if (raiseError(e).action != Answer::Retry) {
      orderListClear();
      return false;
    }
  }
  uint8_t bytes[ntx::kPageSize];
  ntx::NtxHeader header;
  const int64_t got = file->readAt(0, bytes, sizeof bytes);
  if (got < static_cast<int64_t>(ntx::kHeaderFieldsSize) || !ntx::decodeHeader(bytes, static_cast<std::size_t>(got), header)) {
    file->close();
    return false;
  }
  NtxOrder order;
  order.bagName = fileSystem().resolve(name);
  order.keyText = header.keyExpression;
  CompileResult compiled = compileExpression(order.keyText);
  if (!compiled.ok()) {
    file->close();
    return false;
  }
  order.key = std::shared_ptr<CompiledExpr>(compiled.expr.release());
  order.shape = ntx::KeyShape{ntx::KeyType::Character, header.keyWidth, header.keyDecimals};
  order.unique = header.unique;
  order.name = !header.orderName.empty() && static_cast<signed char>(header.orderName[0]) > 20 ? header.orderName
                                                                                                : baseName(name);
  loadKeys(*file, order);
  file->close();
  const bool wasEmpty = orders_.empty();
  orders_.push_back(std::move(order));
  if (controlling_ == 0) controlling_ = static_cast<int>(orders_.size());
  return wasEmpty ? goFirst() : true;
}

bool NtxArea::orderListClear() {
  writeBack();
  orders_.clear();
  controlling_ = 0;
  keyIndex_ = kNone;
  return true;
}

bool NtxArea::setFocus(int position) {
  if (position < 0 || position > static_cast<int>(orders_.size())) return false;
  controlling_ = position;
  keyIndex_ = kNone;
  return true;
}

// ---- navigation in key order --------------------------------------------------

bool NtxArea::positionOnKey(std::size_t index) {
  NtxOrder* order = controlling();
  if (!order || index >= order->keys.size()) return goToEnd();
  const bool ok = DbtArea::goToRecord(order->keys[index].second);
  keyIndex_ = index;
  return ok;
}

std::size_t NtxArea::currentKeyIndex() {
  NtxOrder* order = controlling();
  if (!order) return kNone;
  const uint32_t recno = currentRecord();
  if (keyIndex_ < order->keys.size() && order->keys[keyIndex_].second == recno) return keyIndex_;
  for (std::size_t i = 0; i < order->keys.size(); ++i)
    if (order->keys[i].second == recno) return keyIndex_ = i;
  return kNone;
}

bool NtxArea::goToEnd() {
  const bool ok = DbtArea::goToRecord(countRecords() + 1);
  if (countRecords() > 0) bof_ = false;
  keyIndex_ = kNone;
  return ok;
}

bool NtxArea::goToRecord(uint32_t n) {
  const bool ok = DbtArea::goToRecord(n);
  if (NtxOrder* order = controlling(); order && keyIndex_ < order->keys.size() && order->keys[keyIndex_].second != n)
    keyIndex_ = kNone;
  return ok;
}

bool NtxArea::goFirst() {
  NtxOrder* order = controlling();
  if (!order) return DbtArea::goFirst();
  if (!writeBack()) return false;
  top_ = true;
  bottom_ = false;
  if (order->keys.empty()) {
    const bool ok = goToEnd();
    bof_ = true;
    return ok;
  }
  if (!positionOnKey(0)) return false;
  return passHidden(1);
}

bool NtxArea::goLast() {
  NtxOrder* order = controlling();
  if (!order) return DbtArea::goLast();
  if (!writeBack()) return false;
  top_ = false;
  bottom_ = true;
  if (order->keys.empty()) {
    const bool ok = goToEnd();
    bof_ = true;
    return ok;
  }
  if (!positionOnKey(order->keys.size() - 1)) return false;
  return passHidden(-1);
}

bool NtxArea::stepRaw(int64_t n) {
  NtxOrder* order = controlling();
  if (!order || n == 0) return DbtArea::stepRaw(n);
  if (!writeBack()) return false;
  const int64_t size = static_cast<int64_t>(order->keys.size());
  if (n > 0) {
    if (eof_) return true;
    const std::size_t at = currentKeyIndex();
    if (at == kNone) return goToEnd();
    const int64_t target = static_cast<int64_t>(at) + n;
    return target >= size ? goToEnd() : positionOnKey(static_cast<std::size_t>(target));
  }
  int64_t at = size;
  if (!eof_) {
    const std::size_t index = currentKeyIndex();
    at = index == kNone ? size : static_cast<int64_t>(index);
  }
  const int64_t target = at + n;
  if (target < 0 || size == 0) {
    const bool ok = size == 0 ? goToEnd() : positionOnKey(0);
    bof_ = true;
    return ok;
  }
  return positionOnKey(static_cast<std::size_t>(target));
}

bool NtxArea::seekKey(const Value& key, bool softSeek, bool findLast) {
  if (!writeBack()) return false;
  NtxOrder* order = controlling();
  if (!order) return WorkArea::seekKey(key, softSeek, findLast);
  if (key.isText() && key.asText().empty()) {
    goFirst();
    found_ = true;
    return true;
  }
  std::string sought;
  if (!ntx::soughtKeyOf(key, order->shape, sought)) {
    goToEnd();
    found_ = false;
    return true;
  }
  auto& keys = order->keys;
  auto smaller = [&](const std::pair<std::string, uint32_t>& k) { return ntx::seekCompare(sought, k.first, false, false) > 0; };
  std::size_t i = static_cast<std::size_t>(std::partition_point(keys.begin(), keys.end(), smaller) - keys.begin());
  auto excluded = [&](std::size_t index) {
    DbtArea::goToRecord(keys[index].second);
    return !isVisible();
  };
  while (i < keys.size() && excluded(i)) ++i;
  const bool found = i < keys.size() && ntx::seekCompare(sought, keys[i].first, false, false) == 0;
  if (found && findLast) {
    std::size_t last = i;
    for (std::size_t j = i + 1; j < keys.size() && ntx::seekCompare(sought, keys[j].first, false, false) == 0; ++j)
      if (!excluded(j)) last = j;
    i = last;
  }
  if (found || (softSeek && i < keys.size())) {
    positionOnKey(i);
  } else {
    goToEnd();
  }
  found_ = found;
  return true;
}

// ---- changes and whole-table operations --------------------------------------

bool NtxArea::beginChange() { return DbtArea::beginChange(); }
bool NtxArea::writeBack() { return DbtArea::writeBack(); }
bool NtxArea::flushArea() { return DbtArea::flushArea(); }

bool NtxArea::closeTable() {
  if (!writeBack()) return false;
  orderListClear();
  return DbtArea::closeTable();
}

bool NtxArea::packTable() {
  if (!DbtArea::packTable()) return false;
  for (auto& order : orders_) buildOrder(order);
  return goFirst();
}

bool NtxArea::zapTable() {
  if (!DbtArea::zapTable()) return false;
  for (auto& order : orders_) buildOrder(order);
  return goFirst();
}

}  // namespace talvor
