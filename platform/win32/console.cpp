#include "platform/console.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>

#include "platform/text.h"

namespace platform {

namespace {

bool (*g_interrupted)() = nullptr;

BOOL WINAPI HandleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  return g_interrupted() ? TRUE : FALSE;
}

}  // namespace

bool StandardErrorIsConsole() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

bool WriteStandardError(std::string_view text) {
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  size_t done = 0;
  while (done < text.size()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 1u << 20));
    if (!WriteFile(error, text.data() + done, chunk, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

bool OnConsoleInterrupt(bool (*interrupted)()) {
  g_interrupted = interrupted;
  return SetConsoleCtrlHandler(HandleControl, TRUE) != 0;
}

std::vector<std::string> CommandLineArguments(int, char**) {
  std::vector<std::string> arguments;
  int count = 0;
  LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
  if (words == nullptr) return arguments;
  for (int i = 1; i < count; ++i) {
    const std::wstring_view word = words[i];
    arguments.push_back(Utf16ToUtf8(std::u16string(word.begin(), word.end())));
  }
  LocalFree(words);
  return arguments;
}

}  // namespace platform
