#include "rdd/ntx_area.h"

#include <algorithm>
#include <cstdio>

#include "rdd/area_registry.h"
#include "rdd/file_names.h"
#include "rdd/dbfntx/key_sorter.h"
#include "rdd/dbfntx/ntx_build.h"
#include "services/runtime.h"
#include "services/text.h"

namespace talvor {

namespace {

// Selects an area while an order's expressions are evaluated, so that their
// field names mean this table's fields whichever area the caller had selected.
class AreaSelection {
 public:
  explicit AreaSelection(int area) : registry_(areas()), previous_(registry_.current()) {
    if (area > 0) registry_.select(area);
  }
  ~AreaSelection() { registry_.select(previous_); }
  AreaSelection(const AreaSelection&) = delete;
  AreaSelection& operator=(const AreaSelection&) = delete;

 private:
  AreaRegistry& registry_;
  int previous_;
};

// The seek key just beyond every key that begins with `sought`: its last byte
// below 128 raised by one, the bytes after it dropped. Empty when there is none.
std::string successorOf(std::string sought) {
  for (std::size_t i = sought.size(); i-- > 0;) {
    const auto byte = static_cast<unsigned char>(sought[i]);
    if (byte < 128) {
      sought[i] = static_cast<char>(byte + 1);
      sought.resize(i + 1);
      return sought;
    }
  }
  return {};
}

void reportLostKey(const NtxOrder& order, const std::string& key, uint32_t record) {
  std::printf("Cannot find current key: %s (record %u, order %s)\n", key.c_str(), record, order.name.c_str());
  std::fflush(stdout);
}

}  // namespace

// Holds the index lock of a shared table's order for one operation and drops the
// order's page cache at its end, so that the next operation reads what other
// stations wrote. Does nothing in an exclusive table.
class NtxArea::IndexLock {
 public:
  IndexLock(NtxArea& area, NtxOrder& order) : order_(order), shared_(area.isShared() && order.file) {
    if (shared_) order_.file->lock({kIndexLockOffset, 1, false, false, true});
  }
  ~IndexLock() {
    if (!shared_) return;
    order_.tree->cache().flush();
    order_.file->lock({kIndexLockOffset, 1, true, false, false});
  }
  IndexLock(const IndexLock&) = delete;
  IndexLock& operator=(const IndexLock&) = delete;

 private:
  NtxOrder& order_;
  bool shared_;
};

NtxArea::NtxArea(std::string driverName) : DbtArea(std::move(driverName)) {}

NtxOrder* NtxArea::orderAt(int position) {
  if (position == 0) return controlling();
  if (position < 1 || position > static_cast<int>(orders_.size())) return nullptr;
  return &orders_[static_cast<std::size_t>(position - 1)];
}

// ---- key values -------------------------------------------------------------

Value NtxArea::evaluateKey(NtxOrder& order) {
  if (order.keyField > 0) {
    Value v;
    readField(order.keyField, v);
    return v;
  }
  AreaSelection here(areaNumber());
  if (order.keyBlock.isBlock()) return order.keyBlock.call();
  return order.key ? order.key->eval() : Value();
}

bool NtxArea::evaluateCondition(NtxOrder& order) {
  if (!order.condition) return true;
  AreaSelection here(areaNumber());
  const Value v = order.condition->eval();
  return !v.isLogical() || v.asLogical();
}

// The key bytes of the current record, exactly key-width long (a shorter text is
// filled with blanks, a longer one cut).
bool NtxArea::keyOfRecord(NtxOrder& order, std::string& out) {
  if (!ntx::keyBytesOf(evaluateKey(order), order.shape, out)) return false;
  out.resize(static_cast<std::size_t>(order.shape.width), ' ');
  return true;
}

// ---- building and opening orders ----------------------------------------------

// A shared table's cache holds pages for one operation only; an exclusive
// table's keeps up to 16 MiB of pages per order between operations.
void NtxArea::useCache(NtxOrder& order) {
  constexpr std::size_t kExclusivePages = 16384;
  order.tree->cache().setShared(isShared());
  if (!isShared()) order.tree->cache().setSlotLimit(kExclusivePages);
}

bool NtxArea::buildInto(File& file, NtxOrder& order) {
  ntx::KeySorter sorter(order.shape.width, order.unique);
  const uint32_t count = order.custom ? 0 : countRecords();
  std::string bytes;
  for (uint32_t r = 1; r <= count; ++r) {
    DbtArea::goToRecord(r);
    if (order.condition && !evaluateCondition(order)) continue;
    if (!ntx::keyBytesOf(evaluateKey(order), order.shape, bytes)) {
      std::fputs("ntxCreateOrder\n", stdout);
      continue;
    }
    if (static_cast<int>(bytes.size()) != order.shape.width) return false;
    sorter.add(r, reinterpret_cast<const uint8_t*>(bytes.data()));
  }
  ntx::NtxHeader header = ntx::NtxHeader::forNewOrder(order.shape.width, order.shape.decimals, order.keyText);
  header.unique = order.unique;
  header.condition = order.conditionText;
  header.custom = order.custom;
  if (!order.conditionText.empty()) header.signature += ntx::kSignatureCondition;
  if (lockScheme() == 2) header.signature += ntx::kSignatureLockScheme2;
  if (order.name != baseName(order.bagName)) header.orderName = order.name;
  return ntx::writeIndexTree(file, header, sorter);
}

// A fresh tree over the order's file as its header now stands.
bool NtxArea::resetTree(NtxOrder& order) {
  uint8_t bytes[ntx::kPageSize];
  ntx::NtxHeader header;
  const int64_t got = order.file->readAt(0, bytes, sizeof bytes);
  if (got < static_cast<int64_t>(ntx::kHeaderFieldsSize) || !ntx::decodeHeader(bytes, static_cast<std::size_t>(got), header))
    return false;
  order.tree = std::make_unique<ntx::OrderTree>(*order.file, header);
  useCache(order);
  order.cachedCount.reset();
  return true;
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
  bool built = false;
  if (std::unique_ptr<File> created = fileSystem().create(file)) {
    built = buildInto(*created, order);
    created->close();
  }
  if (!built) {
    DbtArea::goToRecord(recno);
    return false;
  }
  // Opened like any index file, keeping what the creation knows beyond the header.
  const ntx::KeyShape createdShape = order.shape;
  if (!openOrder(file, order)) {
    DbtArea::goToRecord(recno);
    return false;
  }
  order.shape = createdShape;
  order.keyBlock = keyBlock;
  if (!orderName.empty()) order.name = orderName.substr(0, 10);
  orders_.push_back(std::move(order));
  controlling_ = 1;
  return goFirst();
}

// Opens an index file into `order` (not yet into the list): open with retry,
// header, key and condition expressions, name, tree.
bool NtxArea::openOrder(const std::string& bag, NtxOrder& order) {
  const std::string name = hasExtension(bag) ? bag : bag + ".ntx";
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
  CompileResult compiled = compileExpression(header.keyExpression);
  if (!compiled.ok()) {
    file->close();
    return false;
  }
  order.key = std::shared_ptr<CompiledExpr>(compiled.expr.release());
  order.keyText = header.keyExpression;
  order.keyField = 0;
  if (const auto field = plainFieldName(order.keyText)) order.keyField = fieldPosition(*field);
  order.conditionText.clear();
  order.condition.reset();
  if (!header.condition.empty() && static_cast<signed char>(header.condition[0]) > 20) {
    CompileResult cond = compileExpression(header.condition);
    if (cond.ok()) {
      order.conditionText = header.condition;
      order.condition = std::shared_ptr<CompiledExpr>(cond.expr.release());
    }
  }
  order.bagName = fileSystem().resolve(name);
  order.shape = ntx::KeyShape{ntx::KeyType::Character, header.keyWidth, header.keyDecimals};
  order.unique = header.unique;
  order.descending = header.descending;
  order.custom = header.custom;
  order.name = !header.orderName.empty() && static_cast<signed char>(header.orderName[0]) > 20 ? header.orderName
                                                                                                : baseName(name);
  order.file = std::move(file);
  order.tree = std::make_unique<ntx::OrderTree>(*order.file, header);
  useCache(order);
  return true;
}

bool NtxArea::orderListAdd(const std::string& bag) {
  if (!writeBack()) return false;
  if (bag.empty()) return false;
  NtxOrder order;
  if (!openOrder(bag, order)) return false;
  const bool wasEmpty = orders_.empty();
  orders_.push_back(std::move(order));
  if (controlling_ == 0) controlling_ = static_cast<int>(orders_.size());
  return wasEmpty ? goFirst() : true;
}

bool NtxArea::orderListClear() {
  writeBack();
  for (NtxOrder& order : orders_) {
    if (order.tree) order.tree->cache().flush();
    reportWriteFailure(order);
    if (order.file) order.file->close();
  }
  orders_.clear();
  controlling_ = 0;
  deferredInsert_ = false;
  return true;
}

bool NtxArea::orderListRebuild() {
  if (!writeBack()) return false;
  bool ok = true;
  for (NtxOrder& order : orders_) {
    order.tree->cache().flush();
    if (!order.file->truncate(0) || !buildInto(*order.file, order) || !resetTree(order)) ok = false;
  }
  return ok;
}

bool NtxArea::setFocus(int position) {
  if (position < 0 || position > static_cast<int>(orders_.size())) return false;
  controlling_ = position;
  return true;
}

// ---- positioning helpers ------------------------------------------------------

bool NtxArea::goToEnd(NtxOrder& order) {
  const bool ok = DbtArea::goToRecord(countRecords() + 1);
  if (countRecords() > 0) bof_ = false;
  order.orderEnd = true;
  order.tree->forget();
  return ok;
}

bool NtxArea::goToKey(NtxOrder& order) {
  const bool ok = DbtArea::goToRecord(order.tree->record());
  bof_ = order.orderBegin;
  eof_ = order.orderEnd;
  return ok;
}

bool NtxArea::visible(uint32_t record) {
  DbtArea::goToRecord(record);
  return isVisible();
}

bool NtxArea::belowTop(const NtxOrder& order, const std::string& key) const {
  return order.topScope && ntx::seekCompare(*order.topScope, key, false, false) > 0;
}

bool NtxArea::aboveBottom(const NtxOrder& order, const std::string& key) const {
  return order.bottomScope && ntx::seekCompare(*order.bottomScope, key, false, false) < 0;
}

bool NtxArea::withinScopes(const NtxOrder& order, const std::string& key) const {
  return !belowTop(order, key) && !aboveBottom(order, key);
}

// Finds the current record's key again (caller holds the index lock). In an
// exclusive table the remembered path is followed on when its page still holds
// the key; otherwise the key is searched. False (with the diagnostic line) when
// the key is not in the order.
bool NtxArea::findCurrentKey(NtxOrder& order) {
  ntx::OrderTree& tree = *order.tree;
  const uint32_t recno = currentRecord();
  if (!isShared() && tree.positioned() && tree.record() == recno && tree.stillPositioned()) return true;
  std::string key;
  if (!keyOfRecord(order, key)) key.assign(static_cast<std::size_t>(order.shape.width), ' ');
  if (tree.locate(key, recno)) return true;
  reportLostKey(order, key, recno);
  return false;
}

// The bottom of the order within the bottom scope (caller holds the lock).
bool NtxArea::toBottom(NtxOrder& order) {
  if (!order.bottomScope) return order.tree->last();
  ntx::OrderTree& tree = *order.tree;
  const SeekOutcome r = seekIn(order, *order.bottomScope, true);
  if (r == SeekOutcome::Found) return true;
  if (r == SeekOutcome::Greater) return tree.previous();
  return tree.last();
}

// The tree search of a seek (caller holds the lock). With `findLast`, a found key
// is replaced by the last visible key that still matches.
NtxArea::SeekOutcome NtxArea::seekIn(NtxOrder& order, const std::string& sought, bool findLast) {
  ntx::OrderTree& tree = *order.tree;
  ntx::OrderTree::RecordFilter accept;
  if (rt().settings.deleted || hasFilter()) accept = [this](uint32_t r) { return visible(r); };
  const ntx::OrderTree::SeekResult r = tree.seek(sought, accept);
  if (r == ntx::OrderTree::SeekResult::Nothing) return SeekOutcome::Nothing;
  if (r == ntx::OrderTree::SeekResult::Greater) return SeekOutcome::Greater;
  if (findLast) {
    const std::string beyond = successorOf(sought);
    const bool reached = !beyond.empty() && tree.seek(beyond, accept) != ntx::OrderTree::SeekResult::Nothing;
    bool on = reached ? tree.previous() : tree.last();
    while (on && accept && !accept(tree.record())) on = tree.previous();
    if (!on) tree.seek(sought, accept);  // cannot happen in a sound tree: keep the first match
  }
  return SeekOutcome::Found;
}

// A soft seek of a scope value, positioning the area; false when it ends at the end.
bool NtxArea::seekScope(NtxOrder& order, const std::string& scope, bool findLast) {
  SeekOutcome r;
  {
    IndexLock lock(*this, order);
    r = seekIn(order, scope, findLast);
  }
  if (r == SeekOutcome::Nothing || aboveBottom(order, order.tree->key()) || belowTop(order, order.tree->key())) {
    goToEnd(order);
    return false;
  }
  order.orderBegin = order.orderEnd = false;
  return goToKey(order);
}

// ---- navigation in key order ------------------------------------------------------

bool NtxArea::goToRecord(uint32_t n) {
  if (NtxOrder* order = controlling(); order && order->tree->positioned() && order->tree->record() != n)
    order->tree->forget();
  return DbtArea::goToRecord(n);
}

bool NtxArea::goFirst() {
  NtxOrder* order = controlling();
  if (!order) return DbtArea::goFirst();
  if (!writeBack()) return false;
  top_ = true;
  bottom_ = false;
  order->orderBegin = order->orderEnd = false;
  if (order->topScope) {
    if (!seekScope(*order, *order->topScope, false)) return true;
    return passHidden(1);
  }
  bool on;
  {
    IndexLock lock(*this, *order);
    on = order->tree->first();
  }
  if (!on) {
    goToEnd(*order);
    order->orderBegin = true;
    bof_ = true;
    return true;
  }
  if (!goToKey(*order)) return false;
  return passHidden(1);
}

bool NtxArea::goLast() {
  NtxOrder* order = controlling();
  if (!order) return DbtArea::goLast();
  if (!writeBack()) return false;
  top_ = false;
  bottom_ = true;
  order->orderBegin = order->orderEnd = false;
  bool on;
  {
    IndexLock lock(*this, *order);
    on = toBottom(*order) && !belowTop(*order, order->tree->key());
  }
  if (!on) {
    goToEnd(*order);
    order->orderBegin = true;
    bof_ = true;
    return true;
  }
  if (!goToKey(*order)) return false;
  return passHidden(-1);
}

bool NtxArea::stepRaw(int64_t n) {
  NtxOrder* order = controlling();
  if (!order || n == 0) return DbtArea::stepRaw(n);
  if (!writeBack()) return false;
  ntx::OrderTree& tree = *order->tree;
  order->orderBegin = order->orderEnd = false;
  if (n > 0) {
    if (eof_) return true;
    bool on;
    bool intoTop = false;
    {
      IndexLock lock(*this, *order);
      on = findCurrentKey(*order);
      for (int64_t i = 0; i < n && on; ++i) {
        on = tree.next() && !aboveBottom(*order, tree.key());
        if (on && belowTop(*order, tree.key())) {
          intoTop = true;
          break;
        }
      }
    }
    if (intoTop) {
      seekScope(*order, *order->topScope, false);
      return true;
    }
    return on ? goToKey(*order) : goToEnd(*order);
  }
  int64_t steps = -n;
  bool on;
  bool intoTop = false;
  bool intoBottom = false;
  {
    IndexLock lock(*this, *order);
    if (eof_) {
      on = toBottom(*order);
      --steps;
    } else {
      on = findCurrentKey(*order);
    }
    for (; on && steps > 0; --steps) {
      on = tree.previous();
      if (on && belowTop(*order, tree.key())) {
        intoTop = true;
        break;
      }
      if (on && aboveBottom(*order, tree.key())) {
        intoBottom = true;
        break;
      }
    }
  }
  if (intoTop || intoBottom) {
    seekScope(*order, intoTop ? *order->topScope : *order->bottomScope, intoBottom);
    if (intoTop) {
      order->orderBegin = true;
      bof_ = true;
    }
    return true;
  }
  if (!on) {
    const bool ok = goFirst();
    order->orderBegin = true;
    bof_ = true;
    return ok;
  }
  return goToKey(*order);
}

bool NtxArea::seekKey(const Value& key, bool softSeek, bool findLast) {
  if (!writeBack()) return false;
  NtxOrder* order = controlling();
  if (!order) return WorkArea::seekKey(key, softSeek, findLast);
  found_ = false;
  if (key.isText() && key.asText().empty()) {
    goFirst();
    found_ = true;
    return true;
  }
  std::string sought;
  // A value of a kind no key is made of finds nothing.
  if (!ntx::soughtKeyOf(key, order->shape, sought) || belowTop(*order, sought) || aboveBottom(*order, sought)) {
    goToEnd(*order);
    return true;
  }
  order->orderBegin = order->orderEnd = false;
  SeekOutcome r;
  {
    IndexLock lock(*this, *order);
    r = seekIn(*order, sought, findLast);
  }
  if (r == SeekOutcome::Found) {
    goToKey(*order);
    found_ = true;
    return true;
  }
  if (softSeek && r == SeekOutcome::Greater) {
    if (aboveBottom(*order, order->tree->key())) return goToEnd(*order);
    return goToKey(*order);
  }
  return goToEnd(*order);
}

// ---- key maintenance ----------------------------------------------------------------

bool NtxArea::beginChange() {
  if (!DbtArea::beginChange()) return false;
  if (deferredInsert_) return true;
  for (NtxOrder& order : orders_) {
    if (!keyOfRecord(order, order.savedKey)) order.savedKey.clear();
    order.savedCondition = evaluateCondition(order);
  }
  return true;
}

bool NtxArea::writeBack() {
  const bool wasHot = isHot();
  const bool wasAppended = appended_;
  if (!DbtArea::writeBack()) return false;
  if (orders_.empty() || (!wasHot && !deferredInsert_)) return true;
  if (wasAppended && isShared() && !deferredInsert_) {
    // The keys go in at the next write-back, once the fields are filled.
    deferredInsert_ = true;
    return true;
  }
  std::string key;
  for (NtxOrder& order : orders_) {
    if (!keyOfRecord(order, key)) continue;
    updateOrder(order, key, evaluateCondition(order), wasAppended);
  }
  deferredInsert_ = false;
  return true;
}

void NtxArea::updateOrder(NtxOrder& order, const std::string& newKey, bool newCondition, bool appended) {
  const bool insertOnly = appended || deferredInsert_;
  if (!insertOnly && newKey == order.savedKey && newCondition == order.savedCondition) return;
  {
    IndexLock lock(*this, order);
    changeKey(order, newKey, newCondition, insertOnly);
  }
  reportWriteFailure(order);
}

void NtxArea::changeKey(NtxOrder& order, const std::string& newKey, bool newCondition, bool insertOnly) {
  const uint32_t recno = currentRecord();
  const bool counting = !isShared() && order.cachedCount.has_value();
  if (!insertOnly && order.savedCondition) {
    if (!order.tree->remove(order.savedKey, recno)) {
      reportLostKey(order, order.savedKey, recno);
      return;
    }
    if (counting && withinScopes(order, order.savedKey)) --*order.cachedCount;
  }
  if (newCondition) {
    order.tree->insert(newKey, recno);
    if (counting && withinScopes(order, newKey)) ++*order.cachedCount;
  }
  order.savedKey = newKey;
  order.savedCondition = newCondition;
}

void NtxArea::reportWriteFailure(NtxOrder& order) {
  if (!order.tree) return;
  if (const int code = order.tree->cache().takeWriteError()) raiseError(1011, order.bagName, code);
}

// ---- whole-table operations -----------------------------------------------------------

bool NtxArea::flushArea() {
  if (!DbtArea::flushArea()) return false;
  if (!rt().settings.hardCommit) return true;
  for (NtxOrder& order : orders_) {
    if (!order.tree->cache().fileChanged()) continue;
    if (!order.file->commit()) raiseError(1011, order.bagName, order.file->lastError());
    order.tree->cache().clearFileChanged();
  }
  return true;
}

bool NtxArea::closeTable() {
  if (!writeBack()) return false;
  orderListClear();
  return DbtArea::closeTable();
}

bool NtxArea::packTable() {
  if (!DbtArea::packTable()) return false;
  orderListRebuild();
  return goFirst();
}

bool NtxArea::zapTable() {
  if (!DbtArea::zapTable()) return false;
  for (NtxOrder& order : orders_) {
    order.tree->zap();
    order.cachedCount.reset();
  }
  return goFirst();
}

// ---- order information ------------------------------------------------------------------

bool NtxArea::orderInfo(OrderInfoItem item, int position, Value& out, const Value* newValue) {
  NtxOrder* order = orderAt(position);
  switch (item) {
    case OrderInfoItem::Expression:
      out = Value::text(order ? order->keyText : "");
      return true;
    case OrderInfoItem::Condition:
      out = Value::text(order ? order->conditionText : "");
      return true;
    case OrderInfoItem::Name:
      out = Value::text(order ? order->name : "");
      return true;
    case OrderInfoItem::Position:
      out = Value::integer(order ? static_cast<int64_t>(order - orders_.data()) + 1 : 0);
      return true;
    case OrderInfoItem::BagName:
      out = Value::text(order ? order->bagName : "");
      return true;
    case OrderInfoItem::BagExtension:
      out = Value::text(".ntx");
      return true;
    case OrderInfoItem::Count:
      out = Value::integer(static_cast<int64_t>(orders_.size()));
      return true;
    case OrderInfoItem::KeyCount: {
      if (!writeBack()) return false;
      if (!order) {
        out = Value::integer(static_cast<int64_t>(countRecords()));
        return true;
      }
      if (!order->cachedCount) {
        IndexLock lock(*this, *order);
        const uint64_t n = order->tree->countKeys([&](const uint8_t* k) {
          return withinScopes(*order, std::string(reinterpret_cast<const char*>(k), static_cast<std::size_t>(order->shape.width)));
        });
        if (isShared()) {
          out = Value::integer(static_cast<int64_t>(n));
          return true;
        }
        order->cachedCount = n;
      }
      out = Value::integer(static_cast<int64_t>(*order->cachedCount));
      return true;
    }
    case OrderInfoItem::KeyPosition: {
      if (!writeBack()) return false;
      const uint32_t recno = currentRecord();
      if (!order) {
        out = Value::integer(static_cast<int64_t>(recno));
        return true;
      }
      int64_t at = 0;
      if (!eof_) {
        IndexLock lock(*this, *order);
        int64_t i = 1;
        for (bool on = order->tree->first(); on; on = order->tree->next(), ++i) {
          if (order->tree->record() == recno) {
            at = i;
            break;
          }
        }
      }
      out = Value::integer(at);
      return true;
    }
    case OrderInfoItem::Unique:
      out = Value::logical(order && order->unique);
      return true;
    case OrderInfoItem::Descending:
      out = Value::logical(order && order->descending);
      return true;
    case OrderInfoItem::HasCondition:
      out = Value::logical(order && order->condition);
      return true;
    case OrderInfoItem::Custom:
      out = Value::logical(order && order->custom);
      return true;
    case OrderInfoItem::TopScope:
    case OrderInfoItem::BottomScope: {
      std::optional<std::string>* scope = nullptr;
      if (order) scope = item == OrderInfoItem::TopScope ? &order->topScope : &order->bottomScope;
      out = scope && *scope ? Value::text(**scope) : Value();
      if (!newValue) return true;
      if (!scope) return false;
      if (newValue->isNil()) {
        scope->reset();
      } else {
        std::string bytes;
        if (!ntx::soughtKeyOf(*newValue, order->shape, bytes)) return false;
        *scope = bytes;
      }
      order->cachedCount.reset();
      return true;
    }
  }
  return false;
}

}  // namespace talvor
