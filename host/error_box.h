#pragma once
// Start-up failures are shown in a message box and end the program with exit
// code 1. The texts are in Russian, the page's language, and in English.

#include <windows.h>

#include <string>

inline constexpr wchar_t kRuntimeDownloadAddress[] = L"https://developer.microsoft.com/microsoft-edge/webview2/";

// A modal error box owned by the window, with the program's caption.
void ShowErrorBox(HWND owner, const std::wstring& text);

// The web view could not start: the WebView2 Runtime is missing or failed.
std::wstring NoRuntimeText(HRESULT result);

// The runtime started, but it could not make the web view.
std::wstring NoWebViewText(HRESULT result);

// No folder only administrators can write could be had for the web view's data.
std::wstring NoDataFolderText();
