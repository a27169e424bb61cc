// STR(x, 10, 2), VAL and CTOD over a million values each; Google Benchmark
// reports the time per call.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "services/conversions.h"

namespace {

constexpr int kValues = 1000000;

std::vector<talvor::Number> randomNumbers() {
  std::mt19937_64 rng(1);
  std::uniform_real_distribution<double> dist(-99999, 99999);
  std::vector<talvor::Number> out(kValues);
  for (auto& n : out) {
    n.isDouble = true;
    n.real = dist(rng);
  }
  return out;
}

void BM_StrWidth10Decimals2(benchmark::State& state) {
  const auto numbers = randomNumbers();
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(talvor::formatNumber(numbers[i], 10, 2));
    if (++i == numbers.size()) i = 0;
  }
}
BENCHMARK(BM_StrWidth10Decimals2)->Iterations(kValues);

void BM_Val(benchmark::State& state) {
  const auto numbers = randomNumbers();
  std::vector<std::string> texts;
  for (const auto& n : numbers) texts.push_back(talvor::formatNumber(n, 12, 3));
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(talvor::parseVal(texts[i]));
    if (++i == texts.size()) i = 0;
  }
}
BENCHMARK(BM_Val)->Iterations(kValues);

void BM_Ctod(benchmark::State& state) {
  std::vector<std::string> texts;
  for (int k = 0; k < kValues; ++k)
    texts.push_back(std::to_string(1 + k % 28) + "/" + std::to_string(1 + k % 12) + "/" + std::to_string(k % 100));
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(talvor::parseDate(texts[i], "dd/mm/yy", 1946));
    if (++i == texts.size()) i = 0;
  }
}
BENCHMARK(BM_Ctod)->Iterations(kValues);

}  // namespace

BENCHMARK_MAIN();
