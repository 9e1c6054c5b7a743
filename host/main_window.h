#pragma once
// The single main window: its fixed look and its window procedure.

#include <windows.h>

#include "quarnfeld_version.h"

inline constexpr wchar_t kMainWindowClass[] = L"QuarnfeldOptimizerWnd";
inline constexpr wchar_t kMainWindowTitle[] = L"" QF_PRODUCT_TITLE;
// Outer size, frame included.
inline constexpr int kMainWindowWidth = 1280;
inline constexpr int kMainWindowHeight = 860;

// Keeps the web view covering the client area, closes at once (also during a
// run) and delivers the outbox on WM_OUTBOX.
LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
