// Planted by the runner tests where a search for a system program could find
// it (as cmd.exe beside the runner, in the current directory): run, it leaves
// "<its own path>.ran" and exits 0, so that a batch it stood in for would look
// like a success.
#include <windows.h>

#include <string>

int main() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 0;
  const std::wstring marker = std::wstring(path, n) + L".ran";
  HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return 0;
}
