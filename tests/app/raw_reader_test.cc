#include "app/raw_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace talvor {
namespace {

using Rows = std::vector<std::vector<std::string>>;

struct Collected : RawRowSink {
  Rows rows;
  std::vector<int64_t> lineCounts;
  void appendRow() override { rows.emplace_back(); }
  void storeField(int column, std::string_view text) override {
    auto& row = rows.back();
    if (static_cast<int>(row.size()) < column) row.resize(column);
    row[column - 1] = std::string(text);
  }
  void lineDone(int64_t lines) override { lineCounts.push_back(lines); }
};

struct Outcome {
  Rows rows;
  RawReadReport report;
  std::vector<int64_t> lineCounts;
};

// Reads `bytes` through blocks of `block` bytes, so block edges fall everywhere.
Outcome readAll(const std::string& bytes, std::size_t block = 1 << 20) {
  Collected sink;
  BlockReader reader = [&](uint64_t offset, char* buf, std::size_t n) -> int64_t {
    if (offset >= bytes.size()) return 0;
    std::size_t take = std::min({n, block, bytes.size() - static_cast<std::size_t>(offset)});
    std::memcpy(buf, bytes.data() + offset, take);
    return static_cast<int64_t>(take);
  };
  RawReadReport report = readRawExport(reader, bytes.size(), sink);
  return {sink.rows, report, sink.lineCounts};
}

TEST(RawReader, LineShapes) {
  struct Case {
    const char* name;
    std::string bytes;
    Rows rows;
    int64_t lines;
  };
  const Case cases[] = {
      {"three fields", "a,b,c\r\n", {{"a", "b", "c"}}, 1},
      {"empty line", "\r\n", {{""}}, 1},
      {"last line without CR LF loses its tail", "h\r\nx,y,z", {{"h"}, {"x", "y"}}, 1},
      {"last line without comma or CR adds nothing", "h\r\nxyz", {{"h"}}, 1},
      {"bare LF ends the reading", "a,b\nc,d\n", {{"a"}}, 0},
      {"bare CR swallows the next line's first byte", "ab\rcd\ref\r", {{"ab"}, {"d"}, {"f"}}, 3},
      {"tab ends the reading", "h\r\nab\tc,d\r\n", {{"h"}}, 1},
      {"quotes are plain bytes", "\"x,y\",z\r\n", {{"\"x", "y\"", "z"}}, 1},
      {"code 20 to 31 and 200 are text", std::string("a\x14\x1f\xc8,b\r\n"), {{"a\x14\x1f\xc8", "b"}}, 1},
      {"NUL ends the reading", std::string("a,b\0,c\r\n", 8), {{"a"}}, 0},
      {"empty file", "", {}, 0},
  };
  for (const auto& c : cases) {
    for (std::size_t block : {std::size_t(1) << 20, std::size_t(1), std::size_t(2), std::size_t(3)}) {
      Outcome out = readAll(c.bytes, block);
      EXPECT_EQ(out.rows, c.rows) << c.name << " block " << block;
      EXPECT_EQ(out.report.lines, c.lines) << c.name;
    }
  }
}

TEST(RawReader, DropsColumnsAbove93AndReportsTheLine) {
  std::string line;
  for (int i = 1; i <= 100; ++i) line += (i > 1 ? "," : "") + std::to_string(i);
  Outcome out = readAll("h\r\n" + line + "\r\nnext\r\n");
  ASSERT_EQ(out.rows.size(), 3u);
  ASSERT_EQ(out.rows[1].size(), 93u);
  EXPECT_EQ(out.rows[1][92], "93");
  EXPECT_EQ(out.rows[2], std::vector<std::string>{"next"});
  EXPECT_EQ(out.report.linesOverColumns, 1);
  EXPECT_EQ(out.report.firstLineOverColumns, 2);
}

TEST(RawReader, ReportsWhereAControlByteStoppedTheData) {
  Outcome out = readAll("h\r\nab\tcd\r\nef\r\n");
  EXPECT_TRUE(out.report.stoppedAtControl);
  EXPECT_EQ(out.report.stopByte, 9);
  EXPECT_EQ(out.report.stopLine, 2);
  EXPECT_EQ(out.report.stopOffset, 5);
  EXPECT_EQ(out.report.bytesUnread, 8);
  EXPECT_EQ(out.lineCounts, (std::vector<int64_t>{1}));
  Outcome clean = readAll("a\r\n");
  EXPECT_FALSE(clean.report.stoppedAtControl);
}

}  // namespace
}  // namespace talvor
