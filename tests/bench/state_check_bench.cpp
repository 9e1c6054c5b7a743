// The state of the whole catalogue, as "state" computes it, on the posix
// stand-in: the cost of the check's own logic over 421 tweaks.

#include <benchmark/benchmark.h>

#include <string>

#include "catalogue/catalogue.h"
#include "state/state_message.h"

namespace {

void BM_CatalogueState(benchmark::State& state) {
  if (g_catalogue.empty()) g_catalogue = BuildCatalogue();
  for (auto _ : state) {
    std::string message = WriteStateMessage(g_catalogue, SystemMachine());
    benchmark::DoNotOptimize(message);
  }
}
BENCHMARK(BM_CatalogueState)->Unit(benchmark::kMicrosecond);

}  // namespace
