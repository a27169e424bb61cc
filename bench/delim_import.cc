// __DBDELIM import of a generated CSV (8 columns: texts, numbers with decimals,
// dates, logicals) into an exclusive table, against a baseline measured in the
// same run: reading the CSV and writing as many bytes as the table file holds,
// with plain buffered stdio in 1 MiB blocks.
//
// Each import runs in a child process so that its peak resident size (ru_maxrss
// from wait4) belongs to that import alone; running two file sizes shows whether
// the peak depends on the size. Counters: import_s, baseline_s, ratio (import /
// baseline), cpu_ratio (the same on CPU seconds), csv_MBps, peak_MiB.
//
// The CSV goes to $TMPDIR (else /tmp) and is removed at the end.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "rdd/db_commands.h"
#include "rdd/delim_commands.h"
#include "rdd/table_ops.h"
#include "services/runtime.h"
#include "bench_support.h"

namespace {

using namespace talvor;
using namespace talvor::bench;

const fs::path& folder() { return scratchFolder("bench_delim_"); }

// in_<lines>.csv: CODE, NAME (quoted, may hold a comma), QTY 10.2, PRICE 12.3,
// FROM and TO dates, OK logical, UNIT text; CR LF lines.
fs::path makeCsv(int lines) {
  const fs::path path = folder() / ("in_" + std::to_string(lines) + ".csv");
  if (fs::exists(path)) return path;
  std::FILE* out = std::fopen(path.c_str(), "wb");
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> n(0, 999999);
  char line[256];
  for (int i = 0; i < lines; ++i) {
    const int a = n(rng), b = n(rng);
    const int len = std::snprintf(line, sizeof line,
                                  "M%07d,\"Steel bar %d, grade %d\",%d.%02d,%d.%03d,%04d%02d%02d,%04d%02d%02d,%s,%s\r\n",
                                  i, a % 500, b % 40, a % 100000, b % 100, b % 10000, a % 1000, 1990 + a % 30,
                                  1 + b % 12, 1 + a % 28, 2000 + b % 20, 1 + a % 12, 1 + b % 28,
                                  (a & 1) ? "T" : "F", (b & 1) ? "KG" : "M");
    std::fwrite(line, 1, std::size_t(len), out);
  }
  std::fclose(out);
  return path;
}

// Creates t.dbf, opens it exclusively and imports `csv`; false on any error.
bool importInto(const fs::path& csv) {
  rt().reset();
  bool failed = false;
  rt().errorHandler = [&](RuntimeError&) {
    failed = true;
    return ErrorAnswer{};
  };
  const std::string table = (folder() / "t").string();
  fs::remove(table + ".dbf");
  DBCREATE(Value::text(table), Value::array({fieldRow("CODE", "C", 8), fieldRow("NAME", "C", 30), fieldRow("QTY", "N", 10, 2),
                                             fieldRow("PRICE", "N", 12, 3), fieldRow("FROM", "D", 8), fieldRow("TO", "D", 8),
                                             fieldRow("OK", "L", 1), fieldRow("UNIT", "C", 3)}));
  DBUSEAREA(Value::logical(false), Value(), Value::text(table), Value(), Value::logical(false),
            Value::logical(false));
  __DBDELIM(Value::logical(false), Value::text(csv.string()), Value(), Value::array(), Value(), Value(), Value(),
            Value(), Value::logical(false));
  DBCLOSEALL();
  return !failed;
}

// Reads `in` and writes `outBytes` bytes to `out`, 1 MiB at a time.
void plainCopy(const fs::path& in, const fs::path& out, uint64_t outBytes) {
  std::vector<char> buf(1 << 20);
  std::FILE* r = std::fopen(in.c_str(), "rb");
  std::FILE* w = std::fopen(out.c_str(), "wb");
  uint64_t sum = 0;
  for (std::size_t got; (got = std::fread(buf.data(), 1, buf.size(), r)) > 0;)
    for (std::size_t i = 0; i < got; i += 64) sum += uint8_t(buf[i]);
  benchmark::DoNotOptimize(sum);
  for (uint64_t left = outBytes; left > 0;) {
    const std::size_t n = std::size_t(std::min<uint64_t>(left, buf.size()));
    std::fwrite(buf.data(), 1, n, w);
    left -= n;
  }
  std::fclose(r);
  std::fclose(w);
}

void BM_DelimImport(benchmark::State& state) {
  const int lines = int(state.range(0));
  const fs::path csv = makeCsv(lines);
  const uint64_t csvBytes = fs::file_size(csv);
  AgainstBaseline measured;
  for (auto _ : state) {
    const ChildRun run = inChild([&] { return importInto(csv); });
    if (!run.ok) state.SkipWithError("import failed");
    const uint64_t tableBytes = fs::file_size(folder() / "t.dbf");
    measured.add(state, run, [&] { plainCopy(csv, folder() / "baseline.out", tableBytes); });
  }
  measured.report(state, "import", "csv_MBps", csvBytes, lines);
  fs::remove(folder() / "baseline.out");
}

BENCHMARK(BM_DelimImport)->Arg(100000)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
