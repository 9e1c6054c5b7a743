#include "platform/standard_output.h"

#include <windows.h>

#include <algorithm>
#include <string>

namespace platform {

namespace {

bool WriteAll(DWORD which, std::string_view bytes) {
  HANDLE out = GetStdHandle(which);
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    if (!WriteFile(out, bytes.data() + done, chunk, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

}  // namespace

bool WriteStandardOutputLine(std::string_view line) { return WriteAll(STD_OUTPUT_HANDLE, std::string(line) + '\n'); }

bool WriteStandardError(std::string_view text) { return WriteAll(STD_ERROR_HANDLE, text); }

}  // namespace platform
