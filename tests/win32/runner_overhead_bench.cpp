// Benchmark, run by hand under Wine, all in one process:
//  - the batch runner's cost per trivial tweak against a bare start of
//    "cmd.exe /c exit 0", and against cmd.exe running the same header and
//    script from a file with nothing around it (the header's "chcp" starts a
//    second program: that share is cmd's, not the runner's);
//  - a batch of 10 and one of 200 lines with their output captured through
//    the pipe against the same batch whose output goes to the NUL device.
//   wine-run runner_overhead_bench.exe [rounds]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "bare_cmd.h"
#include "run/batch_runner.h"
#include "run/batch_runner_internal.h"

namespace {

double Milliseconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// Runs each of `runs` once per round, in turn, and gives the median of each:
// other work on the machine lands in a few rounds and would move a mean.
std::vector<double> Measure(int rounds, const std::vector<std::function<bool()>>& runs) {
  for (const auto& run : runs) run();  // warm up
  std::vector<std::vector<double>> times(runs.size());
  for (int i = 0; i < rounds; ++i) {
    for (size_t r = 0; r < runs.size(); ++r) {
      const auto t0 = std::chrono::steady_clock::now();
      if (!runs[r]()) {
        std::fprintf(stderr, "run %zu failed\n", r);
        std::exit(1);
      }
      times[r].push_back(Milliseconds(std::chrono::steady_clock::now() - t0));
    }
  }
  std::vector<double> medians;
  for (std::vector<double>& t : times) {
    std::sort(t.begin(), t.end());
    medians.push_back(t[t.size() / 2]);
  }
  return medians;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 40;

  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring plain = std::wstring(temp) + L"qf_bench_plain.bat";
  HANDLE file = CreateFileW(plain.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  const std::string content = std::string(kBatchHeader) + "rem\n" + kBatchFooter;
  DWORD written = 0;
  WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);

  const auto times = Measure(rounds, {
                                         BareCmd,
                                         [&] { return StartHiddenAndWait(L"cmd.exe /S /C \"\"" + plain + L"\"\""); },
                                         [] { return RunBatchScript("rem\n").outcome == BatchOutcome::Succeeded; },
                                     });
  DeleteFileW(plain.c_str());
  std::printf(
      "rounds %d, medians: bare cmd.exe %.1f ms, cmd.exe on the framed script %.1f ms, RunBatchScript %.1f ms\n",
      rounds, times[0], times[1], times[2]);
  std::printf("ratio to bare cmd.exe %.2f (the framed script alone %.2f); the runner's own share %.1f ms\n",
              times[2] / times[0], times[1] / times[0], times[2] - times[1]);

  // The same batch with and without its output captured.
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE nul =
      CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0, nullptr);
  const BatchSystem captured = SystemBatchOperations();
  BatchSystem discarded = captured;
  discarded.startHiddenProcess = [nul](const platform::ProcessStart& start) {
    platform::ProcessStart toNul = start;
    toNul.output = reinterpret_cast<platform::Handle>(nul);
    return platform::StartHiddenProcess(toNul);
  };
  // A tweak's usual few lines, and a chatty one.
  for (const int lines : {10, 200}) {
    const std::string body = "for /l %%i in (1," + std::to_string(lines) +
                             ",1) do echo Step %%i: Skipping, no action needed for this setting.\n";
    const auto capture = Measure(rounds, {
                                             [&] {
                                               const BatchResult r = RunBatchScriptWith(captured, body.c_str(), 60000);
                                               return r.outcome == BatchOutcome::Succeeded && !r.output.empty();
                                             },
                                             [&] {
                                               const BatchResult r = RunBatchScriptWith(discarded, body.c_str(), 60000);
                                               return r.outcome == BatchOutcome::Succeeded && r.output.empty();
                                             },
                                         });
    std::printf("%d-line batch: captured %.1f ms, output to NUL %.1f ms, ratio %.3f\n", lines, capture[0], capture[1],
                capture[0] / capture[1]);
  }
  CloseHandle(nul);
  return 0;
}
