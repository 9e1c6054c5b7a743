#include "platform/standard_output.h"

#include <windows.h>

#include <algorithm>
#include <string>

namespace platform {

bool WriteStandardOutputLine(std::string_view line) {
  std::string bytes(line);
  bytes += '\n';
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    if (!WriteFile(out, bytes.data() + done, chunk, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

}  // namespace platform
