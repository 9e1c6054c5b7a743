#include "host/error_box.h"

void ShowErrorBox(HWND owner, const std::wstring& text) {
  MessageBoxW(owner, text.c_str(), L"Quarnfeld Optimizer", MB_ICONERROR);
}
