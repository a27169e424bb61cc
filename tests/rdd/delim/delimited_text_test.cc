#include "rdd/delimited_text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "rdd/dbfntx/memory_file.h"
#include "services/dates.h"

namespace talvor {
namespace {

using Lines = std::vector<std::string>;

Lines readLines(const std::string& bytes) {
  ntx::testing::MemoryFile file;
  file.bytes.assign(bytes.begin(), bytes.end());
  TextLineReader reader(file);
  Lines lines;
  std::string line;
  while (reader.next(line)) lines.push_back(line);
  return lines;
}

TEST(TextLineReader, TextModeRules) {
  struct Case {
    const char* name;
    std::string bytes;
    Lines lines;
  };
  const Case cases[] = {
      {"CR LF lines", "NAME,QTY\r\nA,1\r\nB,2\r\n", {"NAME,QTY", "A,1", "B,2"}},
      {"blank line in the middle, no extra line at the end", "a\r\n\r\nb\n", {"a", "", "b"}},
      {"last line without LF", "a\nb", {"a", "b"}},
      {"lone CR dropped", "a\rb\r\nc", {"ab", "c"}},
      {"Ctrl-Z ends the file", "a\r\nb\x1a" "c\r\nd\r\n", {"a", "b"}},
      {"NUL ends the usable part", std::string("ab\0cd\nef\n", 9), {"ab", "ef"}},
      {"empty file", "", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(readLines(c.bytes), c.lines) << c.name;
}

TEST(TextLineReader, CutsLongLinesInto4096BytePieces) {
  const std::string piece(4096, 'x');
  EXPECT_EQ(readLines(piece + "\r\n"), Lines{piece});
  EXPECT_EQ(readLines(piece + "yz\r\nnext"), (Lines{piece, "yz", "next"}));
  EXPECT_EQ(readLines(piece + piece + "\n"), (Lines{piece, piece}));
}

// The reader takes the file in 1 MiB blocks: a CR LF split by a block boundary
// still ends one line.
TEST(TextLineReader, CrLfAcrossTheReadBlockBoundary) {
  const std::size_t block = std::size_t(1) << 20;
  const Lines lines = readLines(std::string(block - 1, 'x') + "\r\nnext\r\n");
  ASSERT_EQ(lines.size(), 257u);
  EXPECT_EQ(lines[0], std::string(4096, 'x'));
  EXPECT_EQ(lines[255], std::string(4095, 'x'));
  EXPECT_EQ(lines[256], "next");
}

TEST(ColumnSplitter, Examples) {
  struct Case {
    std::string line;
    Lines columns;
  };
  const Case cases[] = {
      {"a,b", {"a", "b"}},
      {"a,,b", {"a", "", "b"}},
      {",a", {"", "a"}},
      {"a,", {"a", ""}},
      {"a,,", {"a", "", ""}},
      {",", {"", ""}},
      {"\"x,y\",z", {"x,y", "z"}},
      {"\"\",z", {"", "z"}},
      {" a ", {" a "}},
      {"", {}},
      {"\"open", {"open"}},
  };
  for (const auto& c : cases) EXPECT_EQ(splitColumns(c.line, ','), c.columns) << c.line;
  EXPECT_EQ(splitColumns("a b", ' '), (Lines{"a", "b"}));
}

TEST(DelimitedValue, ConversionsByType) {
  EXPECT_EQ(delimitedValue("20120214", 'D').asDay(), dayFromYmd(2012, 2, 14));
  for (const char* bad : {"14/02/2012", "14.02.2012", "2012021", "20121314", "20120230", "    0214"})
    EXPECT_EQ(delimitedValue(bad, 'D').asDay(), 0) << bad;
  for (const char* yes : {"t", "T", "True"}) EXPECT_TRUE(delimitedValue(yes, 'L').asLogical()) << yes;
  for (const char* no : {"Y", ".T.", "", "F"}) EXPECT_FALSE(delimitedValue(no, 'L').asLogical()) << no;
  EXPECT_DOUBLE_EQ(delimitedValue("1,234.5", 'N').asDouble(), 1);
  EXPECT_DOUBLE_EQ(delimitedValue("  -12.5x", 'N').asDouble(), -12.5);
  EXPECT_DOUBLE_EQ(delimitedValue("QTY", 'N').asDouble(), 0);
  EXPECT_EQ(delimitedValue(" keep ", 'C').asText(), " keep ");
}

// Numbers read with a point must be the doubles strtod gives for the same run of
// digits, whatever path the conversion takes.
TEST(DelimitedValue, NumbersMatchStrtod) {
  std::vector<std::string> texts = {"0.05", ".5", "5.", ".", "-", "-0", "007.250", "9007199254740993",
                                    "12345678901234567890.5", "0.0000000000000000000000001", "1.7976931348623157",
                                    "123.456.789", "+42.125", "3.14159265358979323846"};
  std::mt19937_64 rng(3);
  for (int k = 0; k < 20000; ++k) {
    std::string t = std::to_string(rng() % 100000000000ull);
    const std::size_t at = rng() % (t.size() + 1);
    t.insert(at, ".");
    texts.push_back((rng() & 1) ? "-" + t : t);
  }
  for (const std::string& t : texts) {
    const std::size_t second = t.find('.', t.find('.') + 1);
    const std::string run = t.substr(0, second);
    EXPECT_EQ(delimitedValue(t, 'N').asDouble(), std::strtod(run.c_str(), nullptr)) << t;
  }
}

}  // namespace
}  // namespace talvor
