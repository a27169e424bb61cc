// Seeks, key-order steps and key changes on an order of 1,000,000 keys of width
// 6 (as STR(n, 6) gives them), through the order tree with its page cache kept
// (an exclusive table). Baseline for seeks: std::lower_bound over the same keys
// in a sorted vector. Counters: per-operation time in ns, and for seeks the
// ratio to the baseline.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "rdd/dbfntx/key_sorter.h"
#include "rdd/dbfntx/ntx_build.h"
#include "rdd/dbfntx/order_tree.h"
#include "bench_support.h"

namespace {

using namespace talvor;
using talvor::bench::ScratchFile;

constexpr int kKeys = 1000000;
constexpr int kWidth = 6;

std::string key6(int n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%6d", n);
  return buf;
}

// One order file of kKeys keys (every even number below 2 * kKeys), built once.
struct Fixture {
  Fixture() : file("/tmp/bench_ntx_seek_" + std::to_string(::getpid())) {
    ntx::KeySorter sorter(kWidth, false);
    for (int i = 0; i < kKeys; ++i) {
      const std::string k = key6(2 * i);
      sorted.push_back(k);
      sorter.add(static_cast<uint32_t>(i + 1), reinterpret_cast<const uint8_t*>(k.data()));
    }
    header = ntx::NtxHeader::forNewOrder(kWidth, 0, "STR(N,6)");
    ntx::writeIndexTree(file, header, sorter);
    tree = std::make_unique<ntx::OrderTree>(file, header);
    tree->cache().setSlotLimit(16384);  // as an exclusive table's order
  }
  ScratchFile file;
  ntx::NtxHeader header;
  std::vector<std::string> sorted;
  std::unique_ptr<ntx::OrderTree> tree;
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

std::vector<std::string> randomSought(int n) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> pick(0, 2 * kKeys);
  std::vector<std::string> out;
  for (int i = 0; i < n; ++i) out.push_back(key6(pick(rng)));
  return out;
}

void BM_SeekBaseline(benchmark::State& state) {
  Fixture& f = fixture();
  const std::vector<std::string> sought = randomSought(1 << 16);
  std::size_t i = 0;
  for (auto _ : state) {
    auto it = std::lower_bound(f.sorted.begin(), f.sorted.end(), sought[i++ & 0xFFFF]);
    benchmark::DoNotOptimize(it);
  }
}
BENCHMARK(BM_SeekBaseline);

void BM_Seek(benchmark::State& state) {
  Fixture& f = fixture();
  const std::vector<std::string> sought = randomSought(1 << 16);
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(f.tree->seek(sought[i++ & 0xFFFF], {}));
}
BENCHMARK(BM_Seek);

void BM_StepForward(benchmark::State& state) {
  Fixture& f = fixture();
  f.tree->first();
  for (auto _ : state) {
    if (!f.tree->next()) f.tree->first();
  }
}
BENCHMARK(BM_StepForward);

// A key changed: the old key removed and the new one inserted (a record whose
// key field was rewritten), keeping the key count steady.
void BM_ChangeKey(benchmark::State& state) {
  Fixture& f = fixture();
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> pick(0, kKeys - 1);
  std::vector<std::pair<std::string, uint32_t>> moved;
  for (auto _ : state) {
    const int i = pick(rng);
    const uint32_t rec = static_cast<uint32_t>(i + 1);
    const std::string from = key6(2 * i);
    if (f.tree->remove(from, rec)) {
      const std::string to = key6(2 * pick(rng) + 1);
      f.tree->insert(to, rec);
      moved.emplace_back(to, rec);
    }
  }
  // Put the moved keys back (after the timed loop) so later runs see the same order.
  for (const auto& [k, rec] : moved) {
    f.tree->remove(k, rec);
    f.tree->insert(key6(2 * static_cast<int>(rec - 1)), rec);
  }
}
BENCHMARK(BM_ChangeKey)->Iterations(100000);

}  // namespace

BENCHMARK_MAIN();
