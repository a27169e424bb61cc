// Index maintenance on record change, seen from the outside: the orders' files
// on disk after appends, key changes, deletions, zap and pack, read back with the
// file checker; a long random run against a reference model; and two processes
// changing and reading one shared table's order at the same time.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "rdd/area_registry.h"
#include "rdd/db_commands.h"
#include "rdd/dbfntx/memory_file.h"
#include "rdd/dbfntx/ntx_check.h"
#include "rdd/dbfntx/ntx_format.h"
#include "rdd/dbfntx/order_commands.h"
#include "rdd/ntx_area.h"
#include "rdd/table_ops.h"
#include "services/runtime.h"
#include "support/scratch_folder_test.h"

namespace talvor {
namespace {

namespace fs = std::filesystem;
using ntx::testing::MemoryFile;
using Entry = std::pair<std::string, uint32_t>;  // key bytes, record

void writeBytes(const fs::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// An index file as it stands on disk: the checker's report and its keys in tree order.
struct OnDisk {
  ntx::NtxCheckReport report;
  std::vector<Entry> keys;
  MemoryFile file;
};

OnDisk readOrder(const fs::path& p) {
  OnDisk d;
  const std::string bytes = fileBytes(p);
  d.file.bytes.assign(bytes.begin(), bytes.end());
  d.report = ntx::checkNtx(d.file, [&](uint32_t rec, const uint8_t* key, int w) {
    d.keys.emplace_back(std::string(reinterpret_cast<const char*>(key), static_cast<std::size_t>(w)), rec);
  });
  return d;
}

std::string damageOf(const ntx::NtxCheckReport& r) { return r.damage.empty() ? std::string() : r.damage.front(); }

// Adds a condition expression to a built order's header, as an order made with
// a FOR condition carries it (offset 282, signature + 1).
void addCondition(const fs::path& p, const std::string& condition) {
  std::string bytes = fileBytes(p);
  ASSERT_GE(bytes.size(), 2048u);
  std::fill(bytes.begin() + 282, bytes.begin() + 282 + 256, '\0');
  std::copy(condition.begin(), condition.end(), bytes.begin() + 282);
  bytes[0] = static_cast<char>(bytes[0] + ntx::kSignatureCondition);
  writeBytes(p, bytes);
}

// The records in key order of the controlling order, walked both ways.
std::vector<uint32_t> walkForward(std::size_t limit) {
  std::vector<uint32_t> out;
  for (DBGOTOP(); !EOF_().asLogical() && out.size() <= limit; DBSKIP(Value::integer(1)))
    out.push_back(static_cast<uint32_t>(RECNO().asDouble()));
  return out;
}

std::vector<uint32_t> walkBackward(std::size_t limit) {
  std::vector<uint32_t> out;
  DBGOBOTTOM();
  if (EOF_().asLogical()) return out;
  while (out.size() <= limit) {
    out.push_back(static_cast<uint32_t>(RECNO().asDouble()));
    DBSKIP(Value::integer(-1));
    if (BOF().asLogical()) break;
  }
  std::reverse(out.begin(), out.end());
  return out;
}

NtxArea& ntxArea() { return dynamic_cast<NtxArea&>(*currentArea()); }

int64_t keyCountOf(int position) {
  Value out;
  EXPECT_TRUE(ntxArea().orderInfo(OrderInfoItem::KeyCount, position, out));
  return static_cast<int64_t>(out.asDouble());
}

class OrderMaintenance : public CollectingErrorsTest {
 protected:
  void create(const char* name, ValueArray rows) { DBCREATE(Value::text(name), Value::array(std::move(rows))); }
  void use(const char* name, bool shared = false) {
    DBUSEAREA(Value::logical(false), Value(), Value::text(name), Value(), Value::logical(shared), Value::logical(false));
    ASSERT_TRUE(USED().asLogical());
  }
  void add(const char* bag) { ORDLISTADD(Value::text(bag)); }
  void put(int field, Value v) { FIELDPUT(Value::integer(field), std::move(v)); }
  void append(std::vector<Value> values) {
    DBAPPEND();
    for (std::size_t i = 0; i < values.size(); ++i) put(static_cast<int>(i + 1), values[i]);
  }
  // A table t (NUM N(6), GRP C(4), NOTE C(8)) with `n` records, NUM = 7 * i mod 1000
  // and GRP cycling through five groups, and orders num.ntx (NUM) and grp.ntx (GRP).
  void makeTable(int n) {
    create("t", {fieldRow("NUM", "N", 6), fieldRow("GRP", "C", 4), fieldRow("NOTE", "C", 8)});
    use("t");
    static const char* groups[] = {"EAST", "WEST", "NORD", "SUED", "MITT"};
    for (int i = 1; i <= n; ++i)
      append({Value::integer((7 * i) % 1000), Value::text(groups[i % 5]), Value::text("n" + std::to_string(i))});
    DBCREATEINDEX(Value::text("num"), Value::text("NUM"));
    DBCREATEINDEX(Value::text("grp"), Value::text("GRP"));
    DBCLOSEAREA();
  }
};

// ---- the edge cases -----------------------------------------------------------------

TEST_F(OrderMaintenance, ChangesThatTouchNoKeyLeaveEveryIndexFileByteIdentical) {
  makeTable(150);
  const std::string num = fileBytes("num.ntx");
  const std::string grp = fileBytes("grp.ntx");
  for (bool shared : {false, true}) {
    SCOPED_TRACE(shared ? "shared" : "exclusive");
    use("t", shared);
    add("num");
    add("grp");
    for (int r : {1, 40, 77, 150}) {
      DBGOTO(Value::integer(r));
      if (shared) {
        ASSERT_TRUE(RLOCK().asLogical());
      }
      put(3, Value::text("changed"));
      put(1, FIELDGET(Value::integer(1)));  // the same key written again
      put(2, FIELDGET(Value::integer(2)));
      DBDELETE();
      if (r == 40) DBRECALL();
      DBSKIP();  // write-back through the order
      if (shared) DBUNLOCK();
    }
    DBCOMMIT();
    EXPECT_EQ(fileBytes("num.ntx"), num);
    EXPECT_EQ(fileBytes("grp.ntx"), grp);
    DBCLOSEAREA();
    EXPECT_EQ(fileBytes("num.ntx"), num);
    EXPECT_EQ(fileBytes("grp.ntx"), grp);
  }
  EXPECT_TRUE(errors.empty());
}

TEST_F(OrderMaintenance, ExclusiveAppendGetsItsKeyAtTheNextWriteBackAfterEqualKeys) {
  // Each way of leaving the appended record writes it back and inserts its key.
  const std::vector<std::pair<const char*, void (*)()>> leaves = {
      {"commit", [] { DBCOMMIT(); }},
      {"goto", [] { DBGOTO(Value::integer(1)); }},
      {"skip", [] { DBSKIP(Value::integer(-1)); }},
      {"another append", [] { DBAPPEND(); }},
      {"seek", [] { DBSEEK(Value::text("BBBB")); }},
      {"close", [] { DBCLOSEAREA(); }},
  };
  for (const auto& [how, leave] : leaves) {
    SCOPED_TRACE(how);
    fs::remove("t.dbf");
    create("t", {fieldRow("GRP", "C", 4)});
    use("t");
    for (const char* g : {"BBBB", "AAAA", "BBBB", "CCCC", "BBBB"}) append({Value::text(g)});
    DBCREATEINDEX(Value::text("grp"), Value::text("GRP"));
    const int64_t before = keyCountOf(1);
    append({Value::text("BBBB")});
    EXPECT_EQ(readOrder("grp.ntx").report.keyCount, 5u) << "no key before the write-back";
    leave();
    const bool anotherAppend = std::string(how) == "another append";
    if (USED().asLogical()) {
      if (anotherAppend) put(1, Value::text("AAAA"));
      DBCOMMIT();
      EXPECT_EQ(keyCountOf(1), before + (anotherAppend ? 2 : 1));
      const std::vector<uint32_t> expected =
          anotherAppend ? std::vector<uint32_t>{2, 7, 1, 3, 5, 6, 4} : std::vector<uint32_t>{2, 1, 3, 5, 6, 4};
      EXPECT_EQ(walkForward(10), expected);
      EXPECT_EQ(walkBackward(10), expected);
      DBCLOSEAREA();
    }
    const OnDisk d = readOrder("grp.ntx");
    EXPECT_TRUE(d.report.ok) << damageOf(d.report);
    std::vector<Entry> expected = {{"AAAA", 2}, {"BBBB", 1}, {"BBBB", 3}, {"BBBB", 5}, {"BBBB", 6}, {"CCCC", 4}};
    if (anotherAppend) expected.insert(expected.begin() + 1, {"AAAA", 7});
    EXPECT_EQ(d.keys, expected);
  }
  EXPECT_TRUE(errors.empty());
}

TEST_F(OrderMaintenance, SharedAppendEntersTheOrderOnlyAtTheSecondWriteBack) {
  create("t", {fieldRow("GRP", "C", 4)});
  use("t");
  for (const char* g : {"BBBB", "DDDD", "CCCC"}) append({Value::text(g)});
  DBCREATEINDEX(Value::text("grp"), Value::text("GRP"));
  DBCLOSEAREA();
  auto keysOnDisk = [] {
    const OnDisk d = readOrder("grp.ntx");
    EXPECT_TRUE(d.report.ok) << damageOf(d.report);
    return d.keys;
  };
  use("t", true);
  add("grp");

  // The blank record reaches the file at once, its key does not.
  DBAPPEND();
  EXPECT_EQ(LASTREC().asDouble(), 4);
  EXPECT_EQ(keysOnDisk().size(), 3u);
  put(1, Value::text("AAAA"));
  EXPECT_EQ(keysOnDisk().size(), 3u);
  DBCOMMIT();
  EXPECT_EQ(keysOnDisk(), (std::vector<Entry>{{"AAAA", 4}, {"BBBB", 1}, {"CCCC", 3}, {"DDDD", 2}}));

  // Left by a skip: the filled key goes in, and the skip goes on from it.
  DBAPPEND();
  put(1, Value::text("CCCC"));
  EXPECT_EQ(keysOnDisk().size(), 4u);
  DBSKIP();
  EXPECT_EQ(RECNO().asDouble(), 2);
  EXPECT_EQ(keysOnDisk(), (std::vector<Entry>{{"AAAA", 4}, {"BBBB", 1}, {"CCCC", 3}, {"CCCC", 5}, {"DDDD", 2}}));

  // Two appends in a row: the first one's key goes in at the second append (the
  // area's next write-back), unfilled; the second's when its lock is released.
  DBAPPEND();
  DBAPPEND();
  EXPECT_EQ(keysOnDisk().size(), 6u);
  put(1, Value::text("BBBB"));
  DBUNLOCK();
  const std::vector<Entry> keys = keysOnDisk();
  EXPECT_EQ(keys, (std::vector<Entry>{{"    ", 6},
                                      {"AAAA", 4},
                                      {"BBBB", 1},
                                      {"BBBB", 7},
                                      {"CCCC", 3},
                                      {"CCCC", 5},
                                      {"DDDD", 2}}));
  EXPECT_EQ(walkForward(10), (std::vector<uint32_t>{6, 4, 1, 7, 3, 5, 2}));

  // An append left unfilled by closing the table still gets its key.
  DBAPPEND();
  DBCLOSEAREA();
  EXPECT_EQ(keysOnDisk().size(), 8u);
  EXPECT_TRUE(errors.empty());
}

// The items of a tree page in position order: (child, record, key).
struct PageItems {
  int count = 0;
  std::vector<Entry> keys;
  std::vector<uint32_t> children;  // count + 1 entries
};

PageItems pageAt(MemoryFile& f, uint32_t offset, int width) {
  PageItems p;
  const int m = ntx::maxKeysPerPage(width);
  ntx::PageView v(f.bytes.data() + offset, width, m);
  p.count = v.keyCount();
  for (int i = 0; i < p.count; ++i)
    p.keys.emplace_back(std::string(reinterpret_cast<const char*>(v.key(i)), static_cast<std::size_t>(width)), v.record(i));
  for (int i = 0; i <= p.count; ++i) p.children.push_back(v.child(i));
  return p;
}

std::string key6(int i) {
  std::string k = std::to_string(i);
  return std::string(6 - k.size(), '0') + k;
}

TEST_F(OrderMaintenance, TheSixtyThirdAppendSplitsTheFullLeafIntoThirtyOneOneThirtyOne) {
  // The 63rd key smallest, in the middle, largest: the split is the same.
  for (int last : {0, 500, 1000}) {
    SCOPED_TRACE(last);
    fs::remove("t.dbf");
    create("t", {fieldRow("NUM", "N", 6)});
    use("t");
    DBCREATEINDEX(Value::text("num"), Value::text("NUM"));
    for (int i = 1; i <= 62; ++i) append({Value::integer(i * 16)});
    DBCOMMIT();
    OnDisk full = readOrder("num.ntx");
    ASSERT_TRUE(full.report.ok) << damageOf(full.report);
    EXPECT_EQ(full.report.header.rootPage, 1024u);
    EXPECT_EQ(full.report.treePages, 1u);
    EXPECT_EQ(pageAt(full.file, 1024, 6).count, 62);

    append({Value::integer(last)});
    DBCOMMIT();
    OnDisk split = readOrder("num.ntx");
    ASSERT_TRUE(split.report.ok) << damageOf(split.report);
    std::vector<Entry> all = full.keys;
    all.emplace_back(key6(last), 63);
    std::stable_sort(all.begin(), all.end());
    EXPECT_EQ(split.keys, all);
    // New page (2048) left with the first 31, the 32nd up in a new root (3072),
    // the old page (1024) right with the last 31.
    EXPECT_EQ(split.report.header.rootPage, 3072u);
    EXPECT_EQ(split.report.filePages, 4u);
    const PageItems root = pageAt(split.file, 3072, 6);
    ASSERT_EQ(root.count, 1);
    EXPECT_EQ(root.keys[0], all[31]);
    EXPECT_EQ(root.children, (std::vector<uint32_t>{2048, 1024}));
    const PageItems left = pageAt(split.file, 2048, 6);
    const PageItems right = pageAt(split.file, 1024, 6);
    EXPECT_EQ(left.keys, std::vector<Entry>(all.begin(), all.begin() + 31));
    EXPECT_EQ(right.keys, std::vector<Entry>(all.begin() + 32, all.end()));
    EXPECT_EQ(walkForward(70).size(), 63u);
    DBCLOSEAREA();
  }
}

TEST_F(OrderMaintenance, ADeletedRecordKeepsItsKeyAndSetDeletedPassesOverIt) {
  create("t", {fieldRow("NUM", "N", 6)});
  use("t");
  for (int n : {3, 1, 2, 2, 5, 4, 2}) append({Value::integer(n)});
  DBCREATEINDEX(Value::text("num"), Value::text("NUM"));
  const std::string before = fileBytes("num.ntx");
  for (int r : {2, 3, 5}) {  // keys 1 (the smallest), the first 2, 5 (the largest)
    DBGOTO(Value::integer(r));
    DBDELETE();
  }
  DBCOMMIT();
  EXPECT_EQ(fileBytes("num.ntx"), before);
  EXPECT_EQ(walkForward(10), (std::vector<uint32_t>{2, 3, 4, 7, 1, 6, 5}));

  rt().settings.deleted = true;
  EXPECT_EQ(walkForward(10), (std::vector<uint32_t>{4, 7, 1, 6}));
  EXPECT_EQ(walkBackward(10), (std::vector<uint32_t>{4, 7, 1, 6}));
  EXPECT_TRUE(DBSEEK(Value::integer(2)).asLogical());
  EXPECT_EQ(RECNO().asDouble(), 4);
  EXPECT_FALSE(DBSEEK(Value::integer(1)).asLogical());
  EXPECT_TRUE(EOF_().asLogical());
  EXPECT_FALSE(DBSEEK(Value::integer(5)).asLogical());
  // A recalled record is back in the walk at its old place.
  rt().settings.deleted = false;
  DBGOTO(Value::integer(3));
  DBRECALL();
  rt().settings.deleted = true;
  EXPECT_EQ(walkForward(10), (std::vector<uint32_t>{3, 4, 7, 1, 6}));
  EXPECT_EQ(fileBytes("num.ntx"), before);
}

// An order file that missed a change (the table was changed without it open)
// lacks the record's key: the next change of that record reports the lost key
// and leaves that order alone, while the other order is updated.
TEST_F(OrderMaintenance, AKeyMissingFromOneOrderIsReportedAndTheOtherOrdersAreUpdated) {
  makeTable(20);
  use("t");
  DBGOTO(Value::integer(4));
  put(1, Value::integer(555));  // num.ntx is not open: it keeps the old key 28
  DBCLOSEAREA();
  const std::string stale = fileBytes("num.ntx");
  use("t");
  add("num");
  add("grp");
  DBGOTO(Value::integer(4));
  ::testing::internal::CaptureStdout();
  put(1, Value::integer(666));
  put(2, Value::text("ZZZZ"));
  DBCOMMIT();
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Cannot find current key:"), std::string::npos) << out;
  EXPECT_EQ(fileBytes("num.ntx"), stale);
  ORDSETFOCUS(Value::text("grp"));
  DBGOBOTTOM();
  EXPECT_EQ(RECNO().asDouble(), 4);
  DBCLOSEAREA();
  const OnDisk grp = readOrder("grp.ntx");
  EXPECT_TRUE(grp.report.ok) << damageOf(grp.report);
  EXPECT_EQ(grp.keys.back(), Entry("ZZZZ", 4));
}

// With scopes set, the kept key count counts only the keys inside them, and
// follows appends and key changes in and out of the scopes.
TEST_F(OrderMaintenance, TheKeyCountWithinScopesFollowsTheChanges) {
  create("t", {fieldRow("NUM", "N", 6)});
  use("t");
  for (int i = 1; i <= 10; ++i) append({Value::integer(i)});
  DBCREATEINDEX(Value::text("num"), Value::text("NUM"));
  Value old;
  const Value top = Value::integer(3), bottom = Value::integer(7);
  ASSERT_TRUE(ntxArea().orderInfo(OrderInfoItem::TopScope, 1, old, &top));
  ASSERT_TRUE(ntxArea().orderInfo(OrderInfoItem::BottomScope, 1, old, &bottom));
  EXPECT_EQ(keyCountOf(1), 5);
  append({Value::integer(5)});  // inside
  append({Value::integer(9)});  // outside
  DBCOMMIT();
  EXPECT_EQ(keyCountOf(1), 6);
  DBGOTO(Value::integer(4));
  put(1, Value::integer(8));  // out
  DBGOTO(Value::integer(9));
  put(1, Value::integer(6));  // in
  DBGOTO(Value::integer(5));
  put(1, Value::integer(3));  // stays in
  DBCOMMIT();
  EXPECT_EQ(keyCountOf(1), 6);
  // Counted afresh (setting a scope drops the kept count): the same.
  ASSERT_TRUE(ntxArea().orderInfo(OrderInfoItem::TopScope, 1, old, &top));
  EXPECT_EQ(keyCountOf(1), 6);
  EXPECT_EQ(walkForward(20), (std::vector<uint32_t>{3, 5, 11, 6, 9, 7}));
}

// Keys with decimals keep the encoding of the header's width and decimals when
// the order is opened from its file, negative values included; and an order
// built unique still takes a second equal key from a change or an append.
TEST_F(OrderMaintenance, DecimalKeysAndUniqueOrdersThroughChanges) {
  create("t", {fieldRow("PRICE", "N", 6, 1), fieldRow("GRP", "C", 4)});
  use("t");
  for (double v : {3.5, 0.0, 7.5}) append({Value::real(v, 6, 1), Value::text("AAAA")});
  put(2, Value::text("BBBB"));
  DBCREATEINDEX(Value::text("price"), Value::text("PRICE"));
  DBCREATEINDEX(Value::text("grp"), Value::text("GRP"), Value(), Value::logical(true));
  DBCLOSEAREA();
  EXPECT_EQ(readOrder("grp.ntx").keys, (std::vector<Entry>{{"AAAA", 1}, {"BBBB", 3}}));
  use("t");
  add("price");
  add("grp");
  append({Value::real(-12.5, 6, 1), Value::text("BBBB")});
  append({Value::real(12.5, 6, 1), Value::text("AAAA")});
  // Record 2 has no key in the unique order (the build left the second AAAA
  // out): its change reports the lost key and leaves that order as it is.
  DBGOTO(Value::integer(2));
  ::testing::internal::CaptureStdout();
  put(1, Value::real(-0.5, 6, 1));
  put(2, Value::text("BBBB"));
  DBCLOSEAREA();
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("Cannot find current key:"), std::string::npos);
  // -0.5 is "0000.5" turned negative.
  EXPECT_EQ(readOrder("price.ntx").keys,
            (std::vector<Entry>{{",,+*.'", 4}, {",,,,.'", 2}, {"0003.5", 1}, {"0007.5", 3}, {"0012.5", 5}}));
  const OnDisk grp = readOrder("grp.ntx");
  EXPECT_TRUE(grp.report.ok) << damageOf(grp.report);
  EXPECT_EQ(grp.keys, (std::vector<Entry>{{"AAAA", 1}, {"AAAA", 5}, {"BBBB", 3}, {"BBBB", 4}}));
  EXPECT_TRUE(errors.empty());
}

TEST_F(OrderMaintenance, ZapLeavesEveryOrderAnEmptyLeafAtTheRootAndTheOrderWorksOn) {
  makeTable(400);
  use("t");
  add("num");
  add("grp");
  ASSERT_GT(fs::file_size("num.ntx"), 4096u);
  __DBZAP();
  for (const char* bag : {"num.ntx", "grp.ntx"}) {
    SCOPED_TRACE(bag);
    OnDisk d = readOrder(bag);
    EXPECT_TRUE(d.report.ok) << damageOf(d.report);
    EXPECT_EQ(d.file.bytes.size(), 2048u);
    EXPECT_EQ(d.report.header.rootPage, 1024u);
    EXPECT_EQ(d.report.header.freeListHead, 0u);
    const int w = d.report.header.keyWidth;
    const int m = ntx::maxKeysPerPage(w);
    EXPECT_EQ(d.file.u16(1024), 0);
    for (int i = 0; i <= m; ++i) EXPECT_EQ(d.file.u16(1024 + 2 + 2 * i), 2 * m + 4 + i * (w + 8)) << i;
  }
  EXPECT_EQ(keyCountOf(1), 0);
  for (int n : {9, 4, 6}) append({Value::integer(n), Value::text("EAST")});
  DBCOMMIT();
  EXPECT_EQ(keyCountOf(1), 3);
  EXPECT_EQ(walkForward(10), (std::vector<uint32_t>{2, 3, 1}));
  ORDSETFOCUS(Value::text("grp"));
  EXPECT_EQ(walkForward(10), (std::vector<uint32_t>{1, 2, 3}));
  EXPECT_TRUE(errors.empty());
}

// A conditional order (key NUM, FOR FLAG = "Y") over 63 records: the build gives
// a root with one key over two leaves. Keys leave the order when their records'
// FLAG turns "N"; the leaves are never merged under the one-key root, yet every
// key left stays reachable, and a key whose FLAG turns back re-enters.
TEST_F(OrderMaintenance, TwoLeavesUnderAOneKeyRootStayAndFindEveryKeyAsKeysLeave) {
  create("t", {fieldRow("NUM", "N", 6), fieldRow("FLAG", "C", 1)});
  use("t");
  for (int i = 1; i <= 63; ++i) append({Value::integer(i * 10), Value::text("Y")});
  DBCREATEINDEX(Value::text("c"), Value::text("NUM"));
  DBCLOSEAREA();
  addCondition("c.ntx", "FLAG = \"Y\"");
  OnDisk built = readOrder("c.ntx");
  ASSERT_TRUE(built.report.ok) << damageOf(built.report);
  ASSERT_EQ(built.report.treePages, 3u);
  const uint32_t root = built.report.header.rootPage;
  ASSERT_EQ(pageAt(built.file, root, 6).count, 1);

  use("t");
  add("c");
  Value hasCondition;
  ntxArea().orderInfo(OrderInfoItem::HasCondition, 1, hasCondition);
  ASSERT_TRUE(hasCondition.asLogical());
  std::vector<uint32_t> inOrder;
  for (uint32_t r = 1; r <= 63; ++r) inOrder.push_back(r);
  // The left leaf empties first (records 1..32), then the root's key leaves
  // (33), then every key of the right leaf, the last one from the root.
  std::vector<uint32_t> leaving;
  for (uint32_t r = 1; r <= 33; ++r) leaving.push_back(r);
  for (uint32_t r = 63; r >= 34; --r) leaving.push_back(r);
  for (uint32_t r : leaving) {
    SCOPED_TRACE("record " + std::to_string(r));
    DBGOTO(Value::integer(r));
    put(2, Value::text("N"));
    DBCOMMIT();
    inOrder.erase(std::find(inOrder.begin(), inOrder.end(), r));
    const OnDisk d = readOrder("c.ntx");
    ASSERT_TRUE(d.report.ok) << damageOf(d.report);
    EXPECT_EQ(d.report.header.rootPage, root);
    EXPECT_EQ(d.report.treePages + d.report.freePages, 3u);
    ASSERT_EQ(d.keys.size(), inOrder.size());
    EXPECT_EQ(walkForward(70), inOrder);
    EXPECT_EQ(walkBackward(70), inOrder);
    EXPECT_EQ(keyCountOf(1), static_cast<int64_t>(inOrder.size()));
    if (inOrder.empty()) continue;
    DBGOTOP();
    EXPECT_EQ(RECNO().asDouble(), inOrder.front());
    for (uint32_t k : {inOrder.front(), inOrder.back(), inOrder[inOrder.size() / 2]}) {
      EXPECT_TRUE(DBSEEK(Value::integer(static_cast<int64_t>(k) * 10)).asLogical()) << k;
      EXPECT_EQ(RECNO().asDouble(), k);
    }
  }
  // Back in, on both sides of the old separator.
  for (uint32_t r : {5u, 1u, 30u, 62u, 40u}) {
    DBGOTO(Value::integer(r));
    put(2, Value::text("Y"));
    DBCOMMIT();
    inOrder.insert(std::lower_bound(inOrder.begin(), inOrder.end(), r), r);
  }
  EXPECT_EQ(walkForward(70), inOrder);
  EXPECT_EQ(walkBackward(70), inOrder);
  DBCLOSEAREA();
  const OnDisk d = readOrder("c.ntx");
  EXPECT_TRUE(d.report.ok) << damageOf(d.report);
  EXPECT_EQ(d.keys.size(), inOrder.size());
  EXPECT_TRUE(errors.empty());
}

// ---- a long random run against a reference model ----------------------------------

struct ModelRecord {
  int num = 0;
  std::string grp;
  bool flag = false;  // FLAG = "Y"
  bool deleted = false;
};

// The numeric key of a number at width 6, written out here on its own: zeros in
// place of leading blanks; a negative number gets a comma first and its digits
// turned into 92 - digit.
std::string numKey(int n) {
  if (n >= 0) return key6(n);
  const std::string digits = key6(-n);
  std::string k(6, ',');
  for (int i = 1; i < 6; ++i) k[static_cast<std::size_t>(i)] = static_cast<char>(92 - digits[static_cast<std::size_t>(i)]);
  return k;
}

std::string str6(int n) {
  const std::string s = std::to_string(n);
  return std::string(6 - s.size(), ' ') + s;
}

// The three orders of the run: NUM (numeric, width 6, 62 keys a page), GRP (a
// few values, so long runs of equal keys) and GRP+STR(NUM,6) FOR FLAG = "Y"
// (width 10, 48 keys a page).
constexpr int kOrders = 3;
const char* const kBags[kOrders] = {"num.ntx", "grp.ntx", "cond.ntx"};

// What the orders must hold: per record its values now and as last written
// back, and per order whether the record has a key and when it got it. Equal
// keys stand in the order in which their records got them; a rebuild (pack)
// gives equal keys in record order.
class Model {
 public:
  static std::string key(int o, const ModelRecord& r) {
    switch (o) {
      case 0: return numKey(r.num);
      case 1: return r.grp;
      default: return r.grp + str6(r.num);
    }
  }
  static bool condition(int o, const ModelRecord& r) { return o != 2 || r.flag; }

  std::size_t size() const { return now_.size(); }
  const ModelRecord& at(uint32_t rec) const { return now_[rec - 1]; }

  void append(const ModelRecord& r) {
    writeBack();
    now_.push_back(r);
    written_.push_back(r);
    stamp_.emplace_back();
    in_.emplace_back();
    hot_ = static_cast<uint32_t>(now_.size());
    hotAppended_ = true;
  }
  // The record about to change; a different record than the hot one is
  // reached by a move, which writes the hot one back.
  ModelRecord& change(uint32_t rec) {
    if (hot_ != rec) {
      writeBack();
      hot_ = rec;
      hotAppended_ = false;
    }
    return now_[rec - 1];
  }
  void writeBack() {
    if (hot_ == 0) return;
    const std::size_t i = hot_ - 1;
    for (int o = 0; o < kOrders; ++o) {
      const bool c = condition(o, now_[i]);
      if (hotAppended_ || key(o, now_[i]) != key(o, written_[i]) || c != condition(o, written_[i])) {
        in_[i][static_cast<std::size_t>(o)] = c;
        if (c) stamp_[i][static_cast<std::size_t>(o)] = clock_++;
      }
    }
    written_[i] = now_[i];
    hot_ = 0;
    notePeaks();
  }
  void pack() {
    writeBack();
    std::vector<ModelRecord> kept;
    for (const ModelRecord& r : now_)
      if (!r.deleted) kept.push_back(r);
    rebuild(std::move(kept));
  }
  void zap() {
    writeBack();
    rebuild({});
  }
  // Keys of order o in order: (key, record).
  std::vector<Entry> reference(int o) const {
    std::vector<std::pair<std::pair<std::string, uint64_t>, uint32_t>> all;
    const auto oi = static_cast<std::size_t>(o);
    for (std::size_t i = 0; i < now_.size(); ++i)
      if (in_[i][oi]) all.push_back({{key(o, written_[i]), stamp_[i][oi]}, static_cast<uint32_t>(i + 1)});
    std::sort(all.begin(), all.end());
    std::vector<Entry> out;
    for (const auto& [k, rec] : all) out.emplace_back(k.first, rec);
    return out;
  }
  bool inOrder(int o, uint32_t rec) const { return in_[rec - 1][static_cast<std::size_t>(o)]; }
  // The neighbour of a written-back record in order o (0 = none).
  uint32_t neighbour(int o, uint32_t rec, bool after) const {
    const auto oi = static_cast<std::size_t>(o);
    const auto place = [&](std::size_t i) { return std::make_pair(key(o, written_[i]), stamp_[i][oi]); };
    const auto mine = place(rec - 1);
    uint32_t best = 0;
    std::pair<std::string, uint64_t> bestPlace;
    for (std::size_t i = 0; i < now_.size(); ++i) {
      if (!in_[i][oi] || i == rec - 1) continue;
      const auto p = place(i);
      if (after ? !(mine < p) : !(p < mine)) continue;
      if (best == 0 || (after ? p < bestPlace : bestPlace < p)) {
        best = static_cast<uint32_t>(i + 1);
        bestPlace = p;
      }
    }
    return best;
  }
  // The most keys each order held since it was last rebuilt.
  std::size_t peak(int o) const { return peak_[static_cast<std::size_t>(o)]; }

 private:
  void rebuild(std::vector<ModelRecord> records) {
    now_ = records;
    written_ = std::move(records);
    stamp_.assign(now_.size(), {});
    in_.assign(now_.size(), {});
    for (std::size_t i = 0; i < now_.size(); ++i)
      for (int o = 0; o < kOrders; ++o) {
        in_[i][static_cast<std::size_t>(o)] = condition(o, now_[i]);
        stamp_[i][static_cast<std::size_t>(o)] = i + 1;  // below every later stamp
      }
    hot_ = 0;
    peak_ = {};
    notePeaks();
  }
  void notePeaks() {
    for (int o = 0; o < kOrders; ++o) {
      std::size_t n = 0;
      for (const auto& in : in_) n += in[static_cast<std::size_t>(o)];
      peak_[static_cast<std::size_t>(o)] = std::max(peak_[static_cast<std::size_t>(o)], n);
    }
  }

  std::vector<ModelRecord> now_;
  std::vector<ModelRecord> written_;
  std::vector<std::array<uint64_t, kOrders>> stamp_;
  std::vector<std::array<bool, kOrders>> in_;
  uint32_t hot_ = 0;
  bool hotAppended_ = false;
  uint64_t clock_ = uint64_t(1) << 40;
  std::array<std::size_t, kOrders> peak_{};
};

class OrderModel : public OrderMaintenance {
 protected:
  std::mt19937 rng{20261211};
  std::mt19937 checkRng{7};  // apart from the steps' numbers, so checks do not change the run
  Model model;
  int packs = 0, zaps = 0, checks = 0, skipsChecked = 0;
  uint64_t mostFreePages = 0;
  double worstPagesPerBound = 0;

  // The last steps, shown when a check fails.
  std::deque<std::string> recent;
  void note(std::string what) {
    recent.push_back(std::move(what));
    if (recent.size() > 40) recent.pop_front();
  }
  std::string recentSteps() const {
    std::string out;
    for (const std::string& s : recent) out += s + "\n";
    return out;
  }

  int below(int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); }
  int randomNum() {
    static const int common[] = {-5, -4, 0, 5, 42, 1000, -99999};
    if (below(10) < 3) return common[below(7)];
    return below(1100000) - 100000;
  }
  std::string randomGroup() {
    static const char* groups[] = {"ALFA", "BRAV", "CHAR", "DELT", "ECHO", "FOXT", "GOLF", "HOTE"};
    return groups[below(8)];
  }
  // Goes to a record about to change, as the model expects. In a shared table
  // the record is locked first (which releases the lock held before); the
  // record locked already is not locked again, since that would write it back.
  bool shared = false;
  uint32_t lockedRecord = 0;
  ModelRecord& changeAt(uint32_t rec) {
    if (static_cast<uint32_t>(RECNO().asDouble()) != rec || EOF_().asLogical()) {
      note("goto " + std::to_string(rec));
      DBGOTO(Value::integer(rec));
    }
    if (shared && lockedRecord != rec) {
      EXPECT_TRUE(RLOCK().asLogical());
      lockedRecord = rec;
    }
    return model.change(rec);
  }

  // FLAG turns mostly "N" and mostly "Y" by turns, so that the conditional
  // order shrinks and grows: pages merge, go to the free list and come back.
  int stepsTaken = 0;
  bool randomFlag() { return below(10) < ((stepsTaken / 3000) % 2 == 0 ? 8 : 1); }

  void step() {
    ++stepsTaken;
    const std::size_t n = model.size();
    const uint32_t rec = n == 0 ? 0 : static_cast<uint32_t>(below(static_cast<int>(n)) + 1);
    const int roll = below(1000);
    if (!shared && (n > 3000 || (n > 0 && below(15000) == 0))) {
      note("zap");
      model.zap();
      __DBZAP();
      ++zaps;
      return;
    }
    if (!shared && n > 0 && below(6000) == 0) {
      note("pack");
      model.pack();
      __DBPACK();
      ++packs;
      return;
    }
    if (roll < 200 || n == 0) {
      ModelRecord r{randomNum(), randomGroup(), randomFlag(), false};
      note("append " + std::to_string(n + 1) + ": " + std::to_string(r.num) + " " + r.grp + " " + (r.flag ? "Y" : "N"));
      model.append(r);
      DBAPPEND();
      lockedRecord = static_cast<uint32_t>(n + 1);
      put(1, Value::integer(r.num));
      put(2, Value::text(r.grp));
      put(3, Value::text(r.flag ? "Y" : "N"));
      put(4, Value::text("a" + std::to_string(n)));
    } else if (roll < 400) {
      const int v = randomNum();
      changeAt(rec).num = v;
      note("NUM = " + std::to_string(v));
      put(1, Value::integer(v));
    } else if (roll < 550) {
      const std::string g = randomGroup();
      changeAt(rec).grp = g;
      note("GRP = " + g);
      put(2, Value::text(g));
    } else if (roll < 650) {
      const bool f = randomFlag();
      changeAt(rec).flag = f;
      note(std::string("FLAG = ") + (f ? "Y" : "N"));
      put(3, Value::text(f ? "Y" : "N"));
    } else if (roll < 730) {
      changeAt(rec);
      note("NOTE");
      put(4, Value::text("c" + std::to_string(roll)));
    } else if (roll < 820) {
      changeAt(rec).deleted = true;
      note("delete");
      DBDELETE();
    } else if (roll < 870) {
      changeAt(rec).deleted = false;
      note("recall");
      DBRECALL();
    } else if (roll < 940) {
      note("commit");
      model.writeBack();
      DBCOMMIT();
    } else {
      moveInAnOrder();
    }
  }

  // A skip in a random order from the current record, right after its change:
  // the write-back moves its keys, and the skip goes on from the new place.
  void moveInAnOrder() {
    const int o = below(kOrders);
    ORDSETFOCUS(Value::integer(o + 1));
    const auto cur = static_cast<uint32_t>(RECNO().asDouble());
    model.writeBack();
    if (EOF_().asLogical() || cur > model.size() || !model.inOrder(o, cur)) {
      const int to = below(static_cast<int>(model.size()) + 1) + 1;
      note("focus " + std::to_string(o + 1) + ", goto " + std::to_string(to));
      DBGOTO(Value::integer(to));
      return;
    }
    const bool forward = below(2) == 0;
    note("focus " + std::to_string(o + 1) + ", skip " + (forward ? "+1" : "-1") + " from " + std::to_string(cur));
    const uint32_t expected = model.neighbour(o, cur, forward);
    DBSKIP(Value::integer(forward ? 1 : -1));
    ++skipsChecked;
    if (expected != 0) {
      EXPECT_EQ(RECNO().asDouble(), expected) << "skip " << (forward ? "+1" : "-1") << " from " << cur << " in "
                                              << kBags[o];
    } else {
      EXPECT_TRUE(forward ? EOF_().asLogical() : BOF().asLogical()) << "from " << cur << " in " << kBags[o];
    }
  }

  void check() {
    ++checks;
    model.writeBack();
    DBCOMMIT();
    for (int o = 0; o < kOrders && !HasFailure(); ++o) {
      SCOPED_TRACE(std::string(kBags[o]) + " at check " + std::to_string(checks));
      const std::vector<Entry> ref = model.reference(o);
      std::vector<uint32_t> records;
      for (const auto& e : ref) records.push_back(e.second);
      ORDSETFOCUS(Value::integer(o + 1));
      EXPECT_EQ(walkForward(ref.size() + 5), records);
      EXPECT_EQ(walkBackward(ref.size() + 5), records);
      EXPECT_EQ(keyCountOf(o + 1), static_cast<int64_t>(ref.size()));
      for (int i = 0; i < 3 && !ref.empty(); ++i) {
        const Entry& e = ref[checkRng() % ref.size()];
        const ModelRecord& r = model.at(e.second);
        const Value sought = o == 0 ? Value::integer(r.num) : Value::text(o == 1 ? r.grp : r.grp + str6(r.num));
        const auto first = std::find_if(ref.begin(), ref.end(), [&](const Entry& x) { return x.first == e.first; });
        EXPECT_TRUE(DBSEEK(sought).asLogical()) << e.first;
        EXPECT_EQ(RECNO().asDouble(), first->second) << e.first;
      }
      const OnDisk d = readOrder(kBags[o]);
      EXPECT_TRUE(d.report.ok) << damageOf(d.report);
      EXPECT_EQ(d.keys, ref);
      // Every page is in the tree or on the free list (the checker also finds a
      // page that is both), and the file stays within a small multiple of the
      // pages the most keys since the last rebuild needed at half a page each.
      EXPECT_EQ(d.report.filePages, 1 + d.report.treePages + d.report.freePages);
      const std::size_t half = static_cast<std::size_t>(ntx::maxKeysPerPage(d.report.header.keyWidth) / 2);
      const double bound = 4.0 + 2.0 * static_cast<double>(model.peak(o) / half + 1);
      EXPECT_LE(static_cast<double>(d.report.filePages), bound) << "peak keys " << model.peak(o);
      mostFreePages = std::max(mostFreePages, d.report.freePages);
      worstPagesPerBound = std::max(worstPagesPerBound, static_cast<double>(d.report.filePages) / bound);
    }
  }
};

// Exclusive: the long run with packs and zaps. Shared (no pack or zap there):
// appends get their keys at the second write-back, changes are made under
// record locks, and every tree operation works from the file.
class OrderModelRun : public OrderModel, public ::testing::WithParamInterface<bool> {};

TEST_P(OrderModelRun, RandomChangesKeepThreeOrdersEqualToTheReference) {
  shared = GetParam();
  create("model", {fieldRow("NUM", "N", 6), fieldRow("GRP", "C", 4), fieldRow("FLAG", "C", 1), fieldRow("NOTE", "C", 8)});
  use("model");
  DBCREATEINDEX(Value::text("num"), Value::text("NUM"));
  DBCREATEINDEX(Value::text("grp"), Value::text("GRP"));
  DBCREATEINDEX(Value::text("cond"), Value::text("GRP+STR(NUM,6)"));
  DBCLOSEAREA();
  addCondition("cond.ntx", "FLAG = \"Y\"");
  use("model", shared);
  for (const char* bag : kBags) add(bag);
  // Commits write back and mark the files clean as always, without asking the
  // OS to flush its buffers thousands of times.
  rt().settings.hardCommit = false;
  // In one process every key is where the order expects it: no lost key.
  ::testing::internal::CaptureStdout();
  Value hasCondition;
  ntxArea().orderInfo(OrderInfoItem::HasCondition, 3, hasCondition);
  ASSERT_TRUE(hasCondition.asLogical());

  // The shared run, without zaps to keep the table small, is shorter.
  const int steps = shared ? 20000 : 200000;
  const int checkEvery = shared ? 2000 : 1000;
  for (int i = 1; i <= steps && !HasFailure(); ++i) {
    step();
    if (i % checkEvery == 0) check();
    if (HasFailure()) ADD_FAILURE() << "at step " << i << " after\n" << recentSteps();
  }
  check();
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.find("Cannot find current key:"), std::string::npos) << out.substr(0, 2000);
  EXPECT_TRUE(errors.empty()) << errors.size() << " errors, the first " << errors.front().subCode;
  if (!shared) {
    EXPECT_GT(packs, 0);
    EXPECT_GT(zaps, 0);
  }
  EXPECT_GT(mostFreePages, 0u) << "no merge was made";
  RecordProperty("packs", packs);
  RecordProperty("zaps", zaps);
  RecordProperty("skips_checked", skipsChecked);
  RecordProperty("most_free_pages", static_cast<int>(mostFreePages));
  RecordProperty("worst_file_pages_per_bound_percent", static_cast<int>(worstPagesPerBound * 100));
  DBCLOSEAREA();
  for (const char* bag : kBags) {
    const OnDisk d = readOrder(bag);
    EXPECT_TRUE(d.report.ok) << bag << ": " << damageOf(d.report);
  }
}

INSTANTIATE_TEST_SUITE_P(Tables, OrderModelRun, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& param) {
                           return param.param ? "Shared" : "Exclusive";
                         });

// ---- two processes on one shared table -----------------------------------------------

// Keys of the shared run: unique, so that the order is the same however the
// keys went in. A scattering first letter, the writer, six digits.
std::string sharedKey(char writer, int seq) {
  std::string digits = std::to_string(seq);
  digits.insert(0, 6 - digits.size(), '0');
  return std::string(1, static_cast<char>('B' + (seq * 7) % 23)) + writer + digits;
}

constexpr int kWriterSteps = 3000;

// Appends a record now and then and gives existing records new keys, under
// record locks as a user program does. Returns the exit code (0 = all went through).
int runWriter(char writer, int startPipe) {
  rt().reset();
  rt().errorHandler = [](RuntimeError& e) -> ErrorAnswer { _exit(20 + e.genCode % 50); };
  alarm(240);
  char go;
  if (read(startPipe, &go, 1) != 1) return 2;
  DBUSEAREA(Value::logical(false), Value(), Value::text("s"), Value(), Value::logical(true));
  if (!USED().asLogical()) return 3;
  ORDLISTADD(Value::text("k"));
  std::mt19937 rng(static_cast<uint32_t>(writer));
  for (int seq = 1; seq <= kWriterSteps; ++seq) {
    if (seq % 3 == 0) {
      DBAPPEND();
      if (NETERR().asLogical()) return 4;
      FIELDPUT(Value::integer(1), Value::text(sharedKey(writer, seq)));
      FIELDPUT(Value::integer(2), Value::integer(seq));
    } else {
      const auto last = static_cast<uint32_t>(LASTREC().asDouble());
      DBGOTO(Value::integer(rng() % last + 1));
      while (!RLOCK().asLogical()) usleep(200);
      FIELDPUT(Value::integer(1), Value::text(sharedKey(writer, seq)));
    }
    if (seq % 100 == 0) DBCOMMIT();
    DBUNLOCK();
  }
  DBCLOSEAREA();
  return 0;
}

// Seeks and walks in the order while the writers work, until they are done.
// Every walk is bounded; a walk that never ends, or a hang inside one step
// (the alarm), fails the reader.
int runReader(int startPipe) {
  rt().reset();
  rt().errorHandler = [](RuntimeError& e) -> ErrorAnswer { _exit(20 + e.genCode % 50); };
  alarm(240);
  // Lost-key diagnostics are allowed while keys move under the walk; they go
  // to a file of their own.
  if (!std::freopen("reader.out", "w", stdout)) return 2;
  char go;
  if (read(startPipe, &go, 1) != 1) return 2;
  DBUSEAREA(Value::logical(false), Value(), Value::text("s"), Value(), Value::logical(true));
  if (!USED().asLogical()) return 3;
  ORDLISTADD(Value::text("k"));
  std::mt19937 rng(7);
  int rounds = 0;
  int whileWriting = 0;
  for (;;) {
    const bool writing = access("writers.done", F_OK) != 0;
    if (!writing && rounds >= 50) break;
    ++rounds;
    whileWriting += writing;
    // Keys that writers move past the walk are met again, so a walk may take
    // more steps than there are records; only a walk far beyond that is endless.
    const auto bound = static_cast<int>(LASTREC().asDouble()) * 20 + 1000;
    switch (rng() % 3) {
      case 0: {
        DBSEEK(Value::text(std::string(1, static_cast<char>('B' + rng() % 23))), Value::logical(true));
        for (int i = 0; i < 30 && !EOF_().asLogical(); ++i) DBSKIP();
        break;
      }
      case 1: {
        int steps = 0;
        for (DBGOTOP(); !EOF_().asLogical(); DBSKIP())
          if (++steps > bound) return 5;
        break;
      }
      default: {
        int steps = 0;
        for (DBGOBOTTOM(); !BOF().asLogical(); DBSKIP(Value::integer(-1)))
          if (++steps > bound) return 6;
        break;
      }
    }
  }
  DBCLOSEAREA();
  std::fprintf(stderr, "%d", whileWriting);
  std::fflush(stderr);
  return 0;
}

class SharedOrder : public OrderMaintenance, public ::testing::WithParamInterface<int> {};

TEST_P(SharedOrder, WritersAndAReaderAtOnceLeaveTheOrderAFreshBuildWouldGive) {
  const int writers = GetParam();
  create("s", {fieldRow("KEY", "C", 8), fieldRow("SEQ", "N", 8)});
  use("s");
  // 40 keys fit in the root leaf: the root splits while the reader walks, and
  // the next level comes later.
  constexpr int kFirst = 40;
  for (int i = 1; i <= kFirst; ++i) append({Value::text(sharedKey('I', i)), Value::integer(i)});
  DBCREATEINDEX(Value::text("k"), Value::text("KEY"));
  DBCLOSEAREA();

  int start[2];
  ASSERT_EQ(pipe(start), 0);
  std::vector<pid_t> writerPids;
  for (int w = 0; w < writers; ++w) {
    const pid_t pid = fork();
    if (pid == 0) {
      close(start[1]);
      _exit(runWriter(static_cast<char>('W' + w), start[0]));
    }
    ASSERT_GT(pid, 0);
    writerPids.push_back(pid);
  }
  const pid_t reader = fork();
  if (reader == 0) {
    close(start[1]);
    if (!std::freopen("reader.rounds", "w", stderr)) _exit(2);
    _exit(runReader(start[0]));
  }
  ASSERT_GT(reader, 0);
  close(start[0]);
  const std::string go(static_cast<std::size_t>(writers + 1), 'g');
  ASSERT_EQ(write(start[1], go.data(), go.size()), static_cast<ssize_t>(go.size()));
  close(start[1]);
  for (pid_t pid : writerPids) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer exit status " << status;
  }
  writeBytes("writers.done", "");
  int status = 0;
  ASSERT_EQ(waitpid(reader, &status, 0), reader);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "reader exit status " << status;
  {
    const std::string out = fileBytes("reader.out");
    RecordProperty("reader_lost_key_lines", static_cast<int>(std::count(out.begin(), out.end(), '\n')));
    const std::string rounds = fileBytes("reader.rounds");
    EXPECT_GT(std::atoi(rounds.c_str()), 0) << "the reader made no round while the writers worked";
    RecordProperty("reader_rounds_while_writing", std::atoi(rounds.c_str()));
  }

  // The maintained order against an order built afresh over the same table.
  use("s");
  const auto records = static_cast<std::size_t>(LASTREC().asDouble());
  EXPECT_EQ(records, kFirst + static_cast<std::size_t>(writers) * (kWriterSteps / 3));
  const OnDisk maintained = readOrder("k.ntx");
  EXPECT_TRUE(maintained.report.ok) << damageOf(maintained.report);
  EXPECT_EQ(maintained.report.keyCount, records);
  EXPECT_GE(maintained.report.maxLeafDepth, 2);
  RecordProperty("leaf_depth", maintained.report.maxLeafDepth);
  add("k");
  const std::vector<uint32_t> walked = walkForward(records + 5);
  const std::vector<uint32_t> walkedBack = walkBackward(records + 5);
  ORDLISTCLEAR();
  DBCREATEINDEX(Value::text("fresh"), Value::text("KEY"));
  const std::vector<uint32_t> rebuilt = walkForward(records + 5);
  DBCLOSEAREA();
  EXPECT_EQ(rebuilt.size(), records);
  EXPECT_EQ(walked, rebuilt);
  EXPECT_EQ(walkedBack, rebuilt);
  EXPECT_EQ(maintained.keys, readOrder("fresh.ntx").keys);
  EXPECT_TRUE(errors.empty());
}

INSTANTIATE_TEST_SUITE_P(Writers, SharedOrder, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& param) {
                           return std::to_string(param.param) + (param.param == 1 ? "Writer" : "Writers");
                         });

}  // namespace
}  // namespace talvor
