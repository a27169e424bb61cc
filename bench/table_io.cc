// Table I/O through the command functions against plain buffered I/O of the same
// bytes, measured in the same run. One iteration:
//   append: DBCREATE, then DBAPPEND + FIELDPUT of every field for each record of
//           120 bytes (C, N, D and L fields), exclusive, then DBCLOSEAREA;
//   scan:   DBUSEAREA, DBGOTOP, then FIELDGET of every field + DBSKIP to the end;
//   stdio:  fwrite of the same header and record bytes, one record per call, and
//           fread of them back, one record per call.
// Hard commit is off on both sides (no fsync), so the ratios compare the work
// of the engine with the work of stdio, not the disk.
// Counters: *_rps = records per second; write_ratio and read_ratio = engine time
// / stdio time; write_cpu_ratio and read_cpu_ratio = the same on CPU seconds (user
// + system), steadier than wall time on a busy machine.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "rdd/db_commands.h"
#include "rdd/table_ops.h"
#include "services/runtime.h"
#include "bench_support.h"

namespace {

using namespace talvor;
using bench::Clock;

constexpr int kVariants = 1024;  // distinct records, cycled

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

double cpuSeconds() { return bench::selfCpuSeconds(); }

// NAME C40, CITY C30, CODE C4, QTY N12.2, PRICE N14.3, COUNT N10, DAY D8, OK L1:
// 1 + 119 = 120 bytes a record.
Value structure() {
  return Value::array({bench::fieldRow("NAME", "C", 40), bench::fieldRow("CITY", "C", 30), bench::fieldRow("CODE", "C", 4), bench::fieldRow("QTY", "N", 12, 2),
                       bench::fieldRow("PRICE", "N", 14, 3), bench::fieldRow("COUNT", "N", 10), bench::fieldRow("DAY", "D", 8), bench::fieldRow("OK", "L", 1)});
}
constexpr int kFields = 8;

std::vector<std::vector<Value>> makeVariants() {
  std::vector<std::vector<Value>> out(kVariants);
  for (int i = 0; i < kVariants; ++i) {
    out[i] = {Value::text("Customer number " + std::to_string(i * 7919)),
              Value::text(i % 2 ? "Rotterdam" : "Linz an der Donau"),
              Value::text("K" + std::to_string(i % 1000)),
              Value::real(i * 1.25 - 300, 12, 2),
              Value::real(i * 3.141 + 0.5, 14, 3),
              Value::integer(i * 104729),
              Value::date(2455000 + i),
              Value::logical(i % 3 == 0)};
  }
  return out;
}

struct Folder {
  Folder() {
    path = std::filesystem::temp_directory_path() / ("bench_table_io_" + std::to_string(::getpid()));
    std::filesystem::create_directories(path);
    previous = std::filesystem::current_path();
    std::filesystem::current_path(path);
  }
  ~Folder() {
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(path);
  }
  std::filesystem::path path, previous;
};

void engineAppend(int64_t records, const std::vector<std::vector<Value>>& variants) {
  DBCREATE(Value::text("bench"), structure());
  DBUSEAREA(Value::logical(false), Value(), Value::text("bench"), Value(), Value::logical(false));
  std::vector<Value> positions;
  for (int f = 1; f <= kFields; ++f) positions.push_back(Value::integer(f));
  for (int64_t r = 0; r < records; ++r) {
    DBAPPEND();
    const std::vector<Value>& v = variants[r % kVariants];
    for (int f = 0; f < kFields; ++f) FIELDPUT(positions[f], v[f]);
  }
  DBCLOSEAREA();
}

int64_t engineScan() {
  DBUSEAREA(Value::logical(false), Value(), Value::text("bench"), Value(), Value::logical(false));
  std::vector<Value> positions;
  for (int f = 1; f <= kFields; ++f) positions.push_back(Value::integer(f));
  int64_t seen = 0;
  for (DBGOTOP(); !EOF_().asLogical(); DBSKIP()) {
    for (int f = 0; f < kFields; ++f) benchmark::DoNotOptimize(FIELDGET(positions[f]));
    ++seen;
  }
  DBCLOSEAREA();
  return seen;
}

// The engine's own bytes of the table, so that stdio writes exactly the same.
void recordBytes(std::string& header, std::vector<std::string>& records) {
  std::FILE* f = std::fopen("bench.dbf", "rb");
  std::string all;
  char buf[1 << 16];
  for (std::size_t got; (got = std::fread(buf, 1, sizeof buf, f)) > 0;) all.append(buf, got);
  std::fclose(f);
  const std::size_t headerLength = static_cast<uint8_t>(all[8]) | static_cast<uint8_t>(all[9]) << 8;
  header = all.substr(0, headerLength);
  records.clear();
  for (int i = 0; i < kVariants; ++i) records.push_back(all.substr(headerLength + std::size_t(i) * 120, 120));
}

void stdioWrite(int64_t records, const std::string& header, const std::vector<std::string>& bytes) {
  std::FILE* f = std::fopen("plain.dbf", "wb");
  std::fwrite(header.data(), 1, header.size(), f);
  for (int64_t r = 0; r < records; ++r) std::fwrite(bytes[r % kVariants].data(), 1, 120, f);
  std::fputc(0x1A, f);
  std::fclose(f);
}

int64_t stdioRead(std::size_t headerLength) {
  std::FILE* f = std::fopen("plain.dbf", "rb");
  std::vector<char> header(headerLength);
  if (std::fread(header.data(), 1, headerLength, f) != headerLength) return -1;
  char record[120];
  int64_t seen = 0;
  while (std::fread(record, 1, sizeof record, f) == sizeof record) {
    benchmark::DoNotOptimize(record);
    ++seen;
  }
  std::fclose(f);
  return seen;
}

void BM_TableIo(benchmark::State& state) {
  const int64_t records = state.range(0);
  const auto variants = makeVariants();
  Folder folder;
  rt().reset();
  rt().settings.hardCommit = false;
  double append = 0, scan = 0, plainWrite = 0, plainRead = 0;
  double appendCpu = 0, scanCpu = 0, plainWriteCpu = 0, plainReadCpu = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    const double c0 = cpuSeconds();
    engineAppend(records, variants);
    auto t1 = Clock::now();
    const double c1 = cpuSeconds();
    const int64_t scanned = engineScan();
    auto t2 = Clock::now();
    const double c2 = cpuSeconds();
    std::string header;
    std::vector<std::string> bytes;
    recordBytes(header, bytes);
    auto t3 = Clock::now();
    const double c3 = cpuSeconds();
    stdioWrite(records, header, bytes);
    auto t4 = Clock::now();
    const double c4 = cpuSeconds();
    const int64_t read = stdioRead(header.size());
    auto t5 = Clock::now();
    const double c5 = cpuSeconds();
    if (scanned != records || read != records) state.SkipWithError("record count mismatch");
    append += seconds(t0, t1);
    scan += seconds(t1, t2);
    plainWrite += seconds(t3, t4);
    plainRead += seconds(t4, t5);
    appendCpu += c1 - c0;
    scanCpu += c2 - c1;
    plainWriteCpu += c4 - c3;
    plainReadCpu += c5 - c4;
    state.SetIterationTime(seconds(t0, t2));
  }
  const double n = double(state.iterations()) * double(records);
  state.counters["append_rps"] = n / append;
  state.counters["scan_rps"] = n / scan;
  state.counters["stdio_write_rps"] = n / plainWrite;
  state.counters["stdio_read_rps"] = n / plainRead;
  state.counters["write_ratio"] = append / plainWrite;
  state.counters["read_ratio"] = scan / plainRead;
  state.counters["write_cpu_ratio"] = appendCpu / plainWriteCpu;
  state.counters["read_cpu_ratio"] = scanCpu / plainReadCpu;
  state.SetItemsProcessed(int64_t(state.iterations()) * records);
  rt().reset();
}

BENCHMARK(BM_TableIo)->Name("TableIo/120B")->Arg(1000000)->Arg(50000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
