// "init" for a probed machine against copying as many bytes: the catalogue
// part is written once, so a build is little more than a copy.

#include <benchmark/benchmark.h>

#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/init_message.h"

namespace {

const SystemInfo kInfo{
    .os = u"Windows 11 Pro (23H2)",
    .cpu = u"13th Gen Intel(R) Core(TM) i7-13700K",
    .gpu = u"NVIDIA GeForce RTX 4070",
    .user = u"Анна",
    .host = u"DESKTOP-7Q2M4KD",
};

void FillCatalogue() {
  if (g_catalogue.empty()) g_catalogue = BuildCatalogue();
}

void BM_BuildInitMessageWithoutProbe(benchmark::State& state) {
  FillCatalogue();
  size_t bytes = 0;
  for (auto _ : state) {
    std::string message = BuildInitMessage(true, kInfo);
    bytes = message.size();
    benchmark::DoNotOptimize(message);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void BM_CopySameBytes(benchmark::State& state) {
  FillCatalogue();
  const std::string source = BuildInitMessage(true, kInfo);
  for (auto _ : state) {
    std::string copy = source;
    benchmark::DoNotOptimize(copy);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * source.size()));
}

// For comparison: writing the catalogue part afresh on every build.
void BM_WriteCategoriesJson(benchmark::State& state) {
  FillCatalogue();
  size_t bytes = 0;
  for (auto _ : state) {
    std::string json = WriteCategoriesJson(g_catalogue);
    bytes = json.size();
    benchmark::DoNotOptimize(json);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

BENCHMARK(BM_BuildInitMessageWithoutProbe);
BENCHMARK(BM_CopySameBytes);
BENCHMARK(BM_WriteCategoriesJson);

}  // namespace
