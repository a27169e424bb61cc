// The direct stores (a text, number, day or truth value put into a field without
// making a value) must leave exactly the record bytes that writeField leaves, and
// must decline, with nothing done, wherever writeField would raise or convert.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "rdd/area_registry.h"
#include "rdd/dbf_area.h"
#include "rdd/db_commands.h"
#include "rdd/table_ops.h"
#include "services/conversions.h"
#include "support/scratch_folder_test.h"

namespace talvor {
namespace {

class DirectStore : public CollectingErrorsTest {
 protected:
  void SetUp() override {
    CollectingErrorsTest::SetUp();
    DBCREATE(Value::text("t"), Value::array({fieldRow("NAME", "C", 5), fieldRow("PRICE", "N", 8, 2),
                                             fieldRow("QTY", "N", 3), fieldRow("DAY", "D", 8),
                                             fieldRow("OK", "L", 1)}));
    DBUSEAREA(Value::logical(false), Value(), Value::text("t"), Value(), Value::logical(false), Value::logical(false));
    ASSERT_TRUE(USED().asLogical());
    table = currentArea()->asDbfTable();
    ASSERT_NE(table, nullptr);
  }
  // What a field holds before a store, so that a store that leaves bytes
  // untouched shows.
  static Value before(int k) {
    switch (k) {
      case 1: return Value::text("zzzzz");
      case 4: return Value::date(2450000);
      case 5: return Value::logical(true);
      default: return Value::integer(99);
    }
  }
  std::string recordBytes() {
    const uint8_t* bytes = table->recordBuffer();
    return std::string(reinterpret_cast<const char*>(bytes), table->recordLength());
  }
  // The record bytes after a store into field k of a new record holding
  // before(k): through the direct store when `direct`, else through writeField
  // with the same value. `filled` gets the bytes before the store.
  std::string recordAfter(bool direct, int k, const Value& v, bool* stored = nullptr, std::string* filled = nullptr) {
    DBAPPEND();
    table->writeField(k, before(k));
    if (filled) *filled = recordBytes();
    bool took = true;
    if (direct) {
      switch (v.kind()) {
        case Kind::Text: took = table->storeText(k, v.asText()); break;
        case Kind::Number: took = table->storeNumber(k, v.asNumber()); break;
        case Kind::Date: took = table->storeDay(k, v.asDay()); break;
        case Kind::Logical: took = table->storeLogical(k, v.asLogical()); break;
        default: took = false;
      }
    } else {
      table->writeField(k, v);
    }
    if (stored) *stored = took;
    return recordBytes();
  }
  DbfArea* table = nullptr;
};

TEST_F(DirectStore, LeavesTheBytesWriteFieldLeaves) {
  Number fraction;
  fraction.isDouble = true;
  fraction.real = 7.3;
  Number negative;
  negative.isDouble = true;
  negative.real = -0.005;
  const struct {
    int field;
    Value value;
  } cases[] = {
      {1, Value::text("ab")},         {1, Value::text("abcdefgh")}, {1, Value::text("")},
      {2, Value::number(fraction)},   {2, Value::number(negative)}, {2, Value::integer(12345)},
      {3, Value::integer(-12)},       {3, Value::integer(999)},     {4, Value::date(2460000)},
      {4, Value::date(0)},            {5, Value::logical(true)},    {5, Value::logical(false)},
  };
  for (const auto& c : cases) {
    bool stored = false;
    const std::string viaStore = recordAfter(true, c.field, c.value, &stored);
    const std::string viaWrite = recordAfter(false, c.field, c.value);
    EXPECT_TRUE(stored) << "field " << c.field;
    EXPECT_EQ(viaStore, viaWrite) << "field " << c.field;
  }
  EXPECT_TRUE(errors.empty());
}

// A number too wide for its field and a value of another kind than the field's
// are left to writeField (which raises the width or type error): the direct
// store declines and leaves the record as it was.
TEST_F(DirectStore, DeclinesWhereWriteFieldRaises) {
  const struct {
    int field;
    Value value;
  } cases[] = {
      {3, Value::integer(1000)}, {2, Value::integer(123456789)}, {1, Value::integer(5)},
      {2, Value::text("12")},    {5, Value::text("T")},          {4, Value::logical(true)},
  };
  for (const auto& c : cases) {
    bool stored = true;
    std::string filled;
    const std::string bytes = recordAfter(true, c.field, c.value, &stored, &filled);
    EXPECT_FALSE(stored) << "field " << c.field;
    EXPECT_EQ(bytes, filled) << "field " << c.field;
  }
  EXPECT_TRUE(errors.empty());
}

}  // namespace
}  // namespace talvor
