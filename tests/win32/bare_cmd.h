#pragma once
// The yardstick of the Wine benchmarks: one start of "cmd.exe /c exit 0",
// hidden, waited for.
#include <windows.h>

#include <string>

inline bool BareCmd() {
  std::wstring line = L"cmd.exe /c exit 0";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi)) {
    return false;
  }
  WaitForSingleObject(pi.hProcess, INFINITE);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return true;
}
