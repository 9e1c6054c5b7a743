#include "platform/standard_output.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/text.h"

namespace platform {

namespace {

// A console shows bytes in its own code page (866 on a Russian system), so
// UTF-8 reaches it as characters.
bool WriteToConsole(HANDLE console, std::string_view utf8) {
  const std::u16string text = Utf8ToUtf16(utf8);
  size_t done = 0;
  while (done < text.size()) {
    size_t chunk = std::min<size_t>(text.size() - done, 8192);
    // Never split a surrogate pair between two writes.
    if (done + chunk < text.size() && text[done + chunk - 1] >= 0xD800 && text[done + chunk - 1] <= 0xDBFF) --chunk;
    DWORD written = 0;
    if (!WriteConsoleW(console, text.data() + done, static_cast<DWORD>(chunk), &written, nullptr) || written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

bool WriteAll(DWORD which, std::string_view bytes) {
  HANDLE out = GetStdHandle(which);
  DWORD mode = 0;
  if (GetConsoleMode(out, &mode)) return WriteToConsole(out, bytes);
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
