#include "platform/console.h"

#include <signal.h>
#include <unistd.h>

namespace platform {

namespace {

bool (*g_interrupted)() = nullptr;

void HandleSignal(int) {
  if (!g_interrupted()) _exit(130);
}

}  // namespace

bool StandardErrorIsConsole() { return isatty(STDERR_FILENO) == 1; }

bool OnConsoleInterrupt(bool (*interrupted)()) {
  g_interrupted = interrupted;
  struct sigaction action {};
  action.sa_handler = HandleSignal;
  sigemptyset(&action.sa_mask);
  return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0;
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return {argv + (argc > 0 ? 1 : 0), argv + argc};
}

}  // namespace platform
