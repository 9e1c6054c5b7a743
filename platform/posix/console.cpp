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

bool WriteStandardError(std::string_view text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(STDERR_FILENO, text.data() + done, text.size() - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

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
