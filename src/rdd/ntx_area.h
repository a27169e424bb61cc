// The index layer (driver "DBFNTX"): NTX orders on the table. An order is built
// bottom-up from the sorted keys of every record, or opened from an existing
// file; while an order controls, going to the top or bottom, skipping and
// seeking follow its key order. The keys of an open order are read once from its
// file and kept in memory in key order, so that seeks and steps read no page.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "rdd/dbfntx/ntx_format.h"
#include "rdd/dbfntx/ntx_key_value.h"
#include "rdd/dbt_area.h"
#include "services/expr/expression.h"

namespace talvor {

struct NtxOrder {
  std::string bagName;   // the index file's full name
  std::string name;      // order name
  std::string keyText;   // upper case, as in the header
  std::shared_ptr<CompiledExpr> key;
  Value keyBlock;        // the caller's block at creation, else NIL
  ntx::KeyShape shape;
  bool unique = false;
  // (key bytes, record number) in key order, as the file holds them.
  std::vector<std::pair<std::string, uint32_t>> keys;
};

class NtxArea : public DbtArea {
 public:
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
  // 0 = none; returns false when the position is not in the list.
  bool setFocus(int position);
  int focus() const { return controlling_; }
  const std::vector<NtxOrder>& orders() const { return orders_; }

 private:
  NtxOrder* controlling() { return controlling_ > 0 ? &orders_[static_cast<std::size_t>(controlling_ - 1)] : nullptr; }
  bool buildOrder(NtxOrder& order);
  bool positionOnKey(std::size_t index);
  // The index in the controlling order of the current record's key; npos when none.
  std::size_t currentKeyIndex();
  bool goToEnd();

  std::vector<NtxOrder> orders_;
  int controlling_ = 0;
  std::size_t keyIndex_ = static_cast<std::size_t>(-1);
};

}  // namespace talvor
