// PACK of a 1,000,000-record table with every third record deleted, against a
// baseline measured in the same run: reading the same table file and writing its
// kept records to another file with plain buffered stdio in 1 MiB blocks.
//
// The table is built once; every iteration packs a fresh copy in a child process
// so that the pack's peak resident size (ru_maxrss from wait4) is its own. Two
// sizes show whether the peak depends on the table size. Counters: pack_s,
// baseline_s, ratio (pack / baseline), cpu_ratio (the same on CPU seconds), table_MBps, peak_MiB.
//
// The files go to $TMPDIR (else /tmp) and are removed at the end.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "rdd/db_commands.h"
#include "rdd/table_ops.h"
#include "services/runtime.h"
#include "bench_support.h"

namespace {

using namespace talvor;
using namespace talvor::bench;

const fs::path& folder() { return scratchFolder("bench_pack_"); }

void quietErrors() {
  rt().reset();
  rt().errorHandler = [](RuntimeError&) { return ErrorAnswer{}; };
}

void use(const fs::path& table) {
  DBUSEAREA(Value::logical(false), Value(), Value::text(table.string()), Value(), Value::logical(false),
            Value::logical(false));
}

// template_<records>.dbf: CODE C(10), NAME C(30), QTY N(10,2), DAY D, OK L (61
// bytes a record); every third record deleted.
fs::path makeTable(int records) {
  const fs::path table = folder() / ("template_" + std::to_string(records) + ".dbf");
  if (fs::exists(table)) return table;
  quietErrors();
  DBCREATE(Value::text(table.string()), Value::array({fieldRow("CODE", "C", 10), fieldRow("NAME", "C", 30),
                                                      fieldRow("QTY", "N", 10, 2), fieldRow("DAY", "D", 8), fieldRow("OK", "L", 1)}));
  use(table);
  const Value name = Value::text("Steel bar, grade 40");
  for (int i = 1; i <= records; ++i) {
    DBAPPEND();
    FIELDPUT(Value::integer(1), Value::text("M" + std::to_string(i)));
    FIELDPUT(Value::integer(2), name);
    FIELDPUT(Value::integer(3), Value::real(i * 0.25, 10, 2));
    FIELDPUT(Value::integer(4), Value::date(2455000 + i % 1000));
    FIELDPUT(Value::integer(5), Value::logical(i % 2 == 0));
    if (i % 3 == 0) DBDELETE();
  }
  DBCLOSEALL();
  return table;
}

bool pack(const fs::path& table, uint64_t expectedRecords) {
  quietErrors();
  bool failed = false;
  rt().errorHandler = [&](RuntimeError&) {
    failed = true;
    return ErrorAnswer{};
  };
  use(table);
  __DBPACK();
  const bool counted = LASTREC().asDouble() == double(expectedRecords);
  DBCLOSEALL();
  return !failed && counted;
}

// Reads `in` in 1 MiB blocks and writes the records not marked deleted to `out`.
void plainPack(const fs::path& in, const fs::path& out, std::size_t headerLength, std::size_t recordLength) {
  std::vector<char> buf((std::size_t(1) << 20) / recordLength * recordLength);
  std::vector<char> kept(buf.size());
  std::FILE* r = std::fopen(in.c_str(), "rb");
  std::FILE* w = std::fopen(out.c_str(), "wb");
  std::vector<char> header(headerLength);
  std::size_t got = std::fread(header.data(), 1, headerLength, r);
  std::fwrite(header.data(), 1, got, w);
  while ((got = std::fread(buf.data(), 1, buf.size(), r)) >= recordLength) {
    std::size_t n = 0;
    for (std::size_t at = 0; at + recordLength <= got; at += recordLength)
      if (buf[at] != '*') {
        std::copy_n(buf.data() + at, recordLength, kept.data() + n);
        n += recordLength;
      }
    std::fwrite(kept.data(), 1, n, w);
  }
  std::fputc(26, w);
  std::fclose(r);
  std::fclose(w);
}

void BM_Pack(benchmark::State& state) {
  const int records = int(state.range(0));
  const fs::path source = makeTable(records);
  const fs::path work = folder() / "work.dbf";
  const uint64_t tableBytes = fs::file_size(source);
  const std::size_t headerLength = 32 + 5 * 32 + 2;
  const std::size_t recordLength = 1 + 10 + 30 + 10 + 8 + 1;
  const uint64_t keep = uint64_t(records) - uint64_t(records) / 3;
  AgainstBaseline measured;
  for (auto _ : state) {
    fs::copy_file(source, work, fs::copy_options::overwrite_existing);
    const ChildRun run = inChild([&] { return pack(work, keep); });
    if (!run.ok) state.SkipWithError("pack failed");
    if (fs::file_size(work) != headerLength + keep * recordLength + 1) state.SkipWithError("wrong file size");
    measured.add(state, run, [&] { plainPack(source, folder() / "baseline.dbf", headerLength, recordLength); });
  }
  measured.report(state, "pack", "table_MBps", tableBytes, records);
}

BENCHMARK(BM_Pack)->Arg(100000)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
