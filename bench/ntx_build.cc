// Index build over 1,000,000 keys, against a baseline measured in the same run:
// std::sort of the same keys plus writing as many bytes as the index file holds.
// Counters: build_s, baseline_s and ratio (build / baseline).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "rdd/dbfntx/key_sorter.h"
#include "rdd/dbfntx/ntx_build.h"
#include "bench_support.h"

namespace {

using namespace talvor;
using talvor::bench::ScratchFile;
using Clock = std::chrono::steady_clock;

constexpr int kKeys = 1000000;

std::string scratchName(const char* what) {
  return "/tmp/bench_ntx_" + std::to_string(::getpid()) + "_" + what;
}

// Keys as STR(n, 6) gives them, or 30 random letters and digits.
std::vector<std::string> makeKeys(int width) {
  std::mt19937 rng(42);
  std::vector<std::string> keys(kKeys);
  if (width == 6) {
    std::uniform_int_distribution<int> n(0, 999999);
    char buf[16];
    for (auto& k : keys) {
      std::snprintf(buf, sizeof buf, "%6d", n(rng));
      k = buf;
    }
  } else {
    const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 ";
    std::uniform_int_distribution<int> c(0, int(sizeof alphabet) - 2);
    for (auto& k : keys) {
      k.resize(width);
      for (char& ch : k) ch = alphabet[c(rng)];
    }
  }
  return keys;
}

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

int64_t buildIndex(const std::vector<std::string>& keys, int width, std::size_t budget) {
  ScratchFile file(scratchName("index"));
  ntx::KeySorter sorter(width, false, false, budget);
  uint32_t record = 0;
  for (const std::string& k : keys) sorter.add(++record, reinterpret_cast<const uint8_t*>(k.data()));
  ntx::NtxHeader header = ntx::NtxHeader::forNewOrder(width, 0, "KEY");
  if (!ntx::writeIndexTree(file, header, sorter)) return -1;
  return file.size();
}

template <int W>
void baseline(const std::vector<std::string>& keys, int64_t bytes) {
  std::vector<std::array<char, W>> sorted(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) std::copy_n(keys[i].data(), W, sorted[i].data());
  std::sort(sorted.begin(), sorted.end());
  benchmark::DoNotOptimize(sorted.data());
  ScratchFile file(scratchName("baseline"));
  std::vector<char> block(256 * 1024, 'x');
  for (int64_t at = 0; at < bytes; at += int64_t(block.size()))
    file.writeAt(uint64_t(at), block.data(), std::size_t(std::min<int64_t>(bytes - at, int64_t(block.size()))));
}

// Budget 0: the default (everything in memory); else sorted runs spill to $TEMP.
template <int W, std::size_t Budget>
void BM_NtxBuild(benchmark::State& state) {
  const std::vector<std::string> keys = makeKeys(W);
  double build = 0, base = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    int64_t bytes = buildIndex(keys, W, Budget);
    auto t1 = Clock::now();
    baseline<W>(keys, bytes);
    auto t2 = Clock::now();
    if (bytes < 0) state.SkipWithError("build failed");
    state.SetIterationTime(seconds(t0, t1));
    build += seconds(t0, t1);
    base += seconds(t1, t2);
  }
  const double n = double(state.iterations());
  state.counters["build_s"] = build / n;
  state.counters["baseline_s"] = base / n;
  state.counters["ratio"] = build / base;
  state.SetItemsProcessed(int64_t(state.iterations()) * kKeys);
}

BENCHMARK_TEMPLATE(BM_NtxBuild, 6, 0)->Name("NtxBuild/str6")->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_TEMPLATE(BM_NtxBuild, 30, 0)->Name("NtxBuild/char30")->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_TEMPLATE(BM_NtxBuild, 30, 4u << 20)
    ->Name("NtxBuild/char30_spilled_4MiB")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
