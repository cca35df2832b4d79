// Lower-casing a final path: done for every running process whose image can be queried.
#include <string>

#include <benchmark/benchmark.h>

#include "installer/shutdown-helper/lowercase.hpp"

namespace {

void BM_LowerAsciiPath(benchmark::State& state) {
  const std::string path = R"(\\?\C:\Program Files\Vorlane\Application\Vorlane.exe)";
  for (auto _ : state) {
    benchmark::DoNotOptimize(vorlane::haltgate::unicode_lower(path));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * path.size()));
}
BENCHMARK(BM_LowerAsciiPath);

void BM_LowerNonAsciiPath(benchmark::State& state) {
  const std::string path = "\\\\?\\C:\\Users\\ΣΟΦΙΑ\\AppData\\Local\\Программы\\Vorlane\\Vorlane.exe";
  for (auto _ : state) {
    benchmark::DoNotOptimize(vorlane::haltgate::unicode_lower(path));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * path.size()));
}
BENCHMARK(BM_LowerNonAsciiPath);

}  // namespace
