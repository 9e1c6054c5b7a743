// Runs a script body from a file through the real batch runner, for the Wine
// checks of generated bodies and of the runner itself: prints what the batch
// printed (as the runner kept it), then the reasons of a failure, one a line
// after "[FAIL]"; exit code 0 when the batch succeeded, 1 when not, 2 when the
// file cannot be read.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "run/batch_runner.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) return 2;
  const std::string body{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const BatchResult result = RunBatchScript(body.c_str());
  std::fwrite(result.output.data(), 1, result.output.size(), stdout);
  if (result.outcome == BatchOutcome::Succeeded) return 0;
  std::printf("[FAIL]\n");
  for (const std::string& reason : FailureReasons(result)) std::printf("%s\n", reason.c_str());
  return 1;
}
