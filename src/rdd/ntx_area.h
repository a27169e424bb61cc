// The index layer (driver "DBFNTX"): NTX orders on the table. An order is built
// bottom-up from the sorted keys of every record, or opened from an existing
// file; while an order controls, going to the top or bottom, skipping and
// seeking follow its key order through the order's tree. Every open order keeps
// its keys right when records change: beginChange notes each order's key, and
// writeBack moves the key in the orders whose key or condition changed.
//
// In a shared table every tree operation holds the order's index lock (one byte
// at 1000000000 of the index file) and ends with the page cache flushed; in an
// exclusive table the cache is kept between operations.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "rdd/dbfntx/ntx_format.h"
#include "rdd/dbfntx/ntx_key_value.h"
#include "rdd/dbfntx/order_tree.h"
#include "rdd/dbt_area.h"
#include "services/expr/expression.h"

namespace talvor {

struct NtxOrder {
  std::string bagName;   // the index file's full name
  std::string name;      // order name
  std::string keyText;   // upper case, as in the header
  std::string conditionText;
  std::shared_ptr<CompiledExpr> key;
  std::shared_ptr<CompiledExpr> condition;
  Value keyBlock;        // the caller's block at creation, else NIL
  int keyField = 0;      // the field read directly when the key text is a field name
  ntx::KeyShape shape;
  bool unique = false;
  bool descending = false;
  bool custom = false;

  std::unique_ptr<File> file;
  std::unique_ptr<ntx::OrderTree> tree;

  bool orderBegin = false;
  bool orderEnd = false;
  std::optional<uint64_t> cachedCount;  // exclusive tables only
  std::optional<std::string> topScope;  // sought-key bytes
  std::optional<std::string> bottomScope;
  // Noted by beginChange for the next writeBack.
  std::string savedKey;
  bool savedCondition = true;
};

// The order information items (orderInfo).
enum class OrderInfoItem {
  Expression,
  Condition,
  Name,
  Position,
  BagName,
  BagExtension,
  Count,        // number of orders in the list
  KeyCount,     // keys within the scopes
  KeyPosition,  // 1-based position of the current key
  Unique,
  Descending,
  HasCondition,
  Custom,
  TopScope,     // settable; NIL clears
  BottomScope,  // settable; NIL clears
};

class NtxArea : public DbtArea {
 public:
  // The index lock: this byte of the index file, held around every operation on
  // a shared table's order.
  static constexpr uint64_t kIndexLockOffset = 1000000000;

  explicit NtxArea(std::string driverName = "DBFNTX");

  bool goFirst() override;
  bool goLast() override;
  bool goToRecord(uint32_t n) override;
  bool stepRaw(int64_t n) override;
  bool seekKey(const Value& key, bool softSeek, bool findLast) override;
  bool beginChange() override;
  bool writeBack() override;
  bool flushArea() override;
  bool closeTable() override;
  bool packTable() override;
  bool zapTable() override;

  // Builds an index file over every record and makes it the only, controlling order.
  bool orderCreate(const std::string& bag, const std::string& keyText, const Value& keyBlock, bool unique,
                   const std::string& orderName);
  // Opens an index file into the order list.
  bool orderListAdd(const std::string& bag);
  bool orderListClear();
  // Rebuilds every open order from the table.
  bool orderListRebuild();
  // 0 = none; returns false when the position is not in the list.
  bool setFocus(int position);
  int focus() const { return controlling_; }
  const std::vector<NtxOrder>& orders() const { return orders_; }
  // An item of the order at `position` (0 = the controlling order); a settable
  // item takes `newValue` when given. False when the item cannot be set.
  bool orderInfo(OrderInfoItem item, int position, Value& out, const Value* newValue = nullptr);

 private:
  class IndexLock;
  enum class SeekOutcome { Found, Greater, Nothing };

  NtxOrder* controlling() { return controlling_ > 0 ? &orders_[static_cast<std::size_t>(controlling_ - 1)] : nullptr; }
  NtxOrder* orderAt(int position);
  bool openOrder(const std::string& bag, NtxOrder& order);
  bool buildInto(File& file, NtxOrder& order);
  bool resetTree(NtxOrder& order);
  void useCache(NtxOrder& order);

  // Key values of the current record.
  Value evaluateKey(NtxOrder& order);
  bool evaluateCondition(NtxOrder& order);
  bool keyOfRecord(NtxOrder& order, std::string& out);

  // Navigation helpers (the controlling order).
  bool goToEnd(NtxOrder& order);
  bool goToKey(NtxOrder& order);
  bool findCurrentKey(NtxOrder& order);
  bool toBottom(NtxOrder& order);
  bool visible(uint32_t record);
  SeekOutcome seekIn(NtxOrder& order, const std::string& sought, bool findLast);
  bool seekScope(NtxOrder& order, const std::string& scope, bool findLast);
  bool belowTop(const NtxOrder& order, const std::string& key) const;
  bool aboveBottom(const NtxOrder& order, const std::string& key) const;
  bool withinScopes(const NtxOrder& order, const std::string& key) const;

  // Key maintenance of one order after a record change.
  void updateOrder(NtxOrder& order, const std::string& newKey, bool newCondition, bool appended);
  // The removal of the saved key and the insertion of the new one, under the
  // index lock.
  void changeKey(NtxOrder& order, const std::string& newKey, bool newCondition, bool insertOnly);
  // Raises "Write error" with the index file's name when one of its page or
  // header writes failed since the last check.
  void reportWriteFailure(NtxOrder& order);

  std::vector<NtxOrder> orders_;
  int controlling_ = 0;
  bool deferredInsert_ = false;
};

}  // namespace talvor
