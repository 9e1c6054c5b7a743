#include "platform/standard_output.h"

#include <unistd.h>

#include <string>

namespace platform {

namespace {

bool WriteAll(int file, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(file, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool WriteStandardOutputLine(std::string_view line) { return WriteAll(STDOUT_FILENO, std::string(line) + '\n'); }

bool WriteStandardError(std::string_view text) { return WriteAll(STDERR_FILENO, text); }

}  // namespace platform
