// Benchmark, run by hand under Wine: the batch runner's cost per trivial tweak
// against a bare start of "cmd.exe /c exit 0", measured in the same process.
//   wine-run runner_overhead_bench.exe [rounds]
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bare_cmd.h"
#include "run/batch_runner.h"

namespace {

double Milliseconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 40;
  BareCmd();  // warm up
  RunBatchScript("rem\n");
  double bare = 0;
  double runner = 0;
  for (int i = 0; i < rounds; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    if (!BareCmd()) return 1;
    auto t1 = std::chrono::steady_clock::now();
    if (!RunBatchScript("rem\n")) return 1;
    auto t2 = std::chrono::steady_clock::now();
    bare += Milliseconds(t1 - t0);
    runner += Milliseconds(t2 - t1);
  }
  std::printf("rounds %d: bare cmd.exe %.1f ms, RunBatchScript %.1f ms per call, ratio %.2f\n", rounds, bare / rounds,
              runner / rounds, runner / bare);
  return 0;
}
