#pragma once
// The yardstick of the Wine benchmarks: one start of "cmd.exe /c exit 0",
// hidden, waited for.
#include <windows.h>

#include <string>

// Starts `line` hidden, found by the usual search, and waits for it.
inline bool StartHiddenAndWait(std::wstring line) {
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

inline bool BareCmd() { return StartHiddenAndWait(L"cmd.exe /c exit 0"); }
