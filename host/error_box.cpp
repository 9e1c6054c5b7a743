#include "host/error_box.h"

#include <cwchar>

namespace {

std::wstring Code(HRESULT result) {
  wchar_t text[16] = {};
  std::swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(result));
  return std::wstring(L"\n\n(") + text + L")";
}

}  // namespace

void ShowErrorBox(HWND owner, const std::wstring& text) {
  MessageBoxW(owner, text.c_str(), L"Quarnfeld Optimizer", MB_ICONERROR);
}

std::wstring NoRuntimeText(HRESULT result) {
  return std::wstring(
             L"Для окна программы нужна среда Microsoft Edge WebView2 Runtime, но она не установлена или не "
             L"запускается.\nThe program's window needs the Microsoft Edge WebView2 Runtime, which is missing "
             L"or does not start.\n\n") +
         kRuntimeDownloadAddress + Code(result);
}

std::wstring NoWebViewText(HRESULT result) {
  return L"Не удалось создать окно WebView2.\nThe WebView2 window could not be created." + Code(result);
}

std::wstring NoDataFolderText() {
  return L"Нет папки для данных WebView2, в которую могут писать только администраторы.\nThere is no folder only "
         L"administrators can write for the WebView2 data.\n\n%ProgramData%\\Quarnfeld Optimizer";
}
