// Runs a script body from a file through the real batch runner, for the Wine
// checks of generated bodies: exit code 0 when RunBatchScript returned true,
// 1 when it returned false, 2 when the file cannot be read.
#include <fstream>
#include <iterator>
#include <string>

#include "run/batch_runner.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) return 2;
  const std::string body{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  return RunBatchScript(body.c_str()) ? 0 : 1;
}
