// Benchmark, run by hand under Wine: the state of the whole catalogue against
// a bare start of "cmd.exe /c exit 0", measured in the same process. The goal
// is a ratio of at most 1: the catalogue's state costs less than one start.
//   wine-run state_bench.exe [rounds]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bare_cmd.h"
#include "catalogue/catalogue.h"
#include "state/state_message.h"

namespace {

double Milliseconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
  g_catalogue = BuildCatalogue();
  // The first of each warms its caches (the service control manager, COM).
  BareCmd();
  std::string message = WriteStateMessage(g_catalogue, SystemMachine());
  double bare = 0;
  double state = 0;
  for (int i = 0; i < rounds; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    if (!BareCmd()) return 1;
    const auto t1 = std::chrono::steady_clock::now();
    message = WriteStateMessage(g_catalogue, SystemMachine());
    const auto t2 = std::chrono::steady_clock::now();
    bare += Milliseconds(t1 - t0);
    state += Milliseconds(t2 - t1);
  }
  std::printf("rounds %d: bare cmd.exe %.1f ms, state of %zu bytes %.1f ms, ratio %.2f\n", rounds, bare / rounds,
              message.size(), state / rounds, state / bare);
  return 0;
}
