#include "platform/standard_output.h"

#include <unistd.h>

#include <string>

namespace platform {

bool WriteStandardOutputLine(std::string_view line) {
  std::string bytes(line);
  bytes += '\n';
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace platform
