#pragma once
// Start-up failures are shown in a message box and end the program with exit
// code 1.

#include <windows.h>

#include <string>

inline constexpr wchar_t kRuntimeDownloadAddress[] = L"https://developer.microsoft.com/microsoft-edge/webview2/";

// A modal error box owned by the window, with the program's caption.
void ShowErrorBox(HWND owner, const std::wstring& text);
