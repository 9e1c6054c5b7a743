// Host-tier helper, run under Wine beside the program: waits for a message
// box with the given caption and prints, as UTF-8 lines, its text (line
// breaks written as \n) and the title of its owner window. Exit code 0 when a box was found, 1 after the time limit.
//   box_reader.exe <caption> <milliseconds>

#include <windows.h>

#include <cwchar>
#include <string>

namespace {

// The control id of the text in the system's message box.
constexpr int kTextId = 0xFFFF;

void Print(const std::wstring& line) {
  std::wstring escaped;
  for (wchar_t c : line) {
    if (c == L'\n') {
      escaped += L"\\n";
    } else if (c != L'\r') {
      escaped += c;
    }
  }
  escaped += L'\n';
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, escaped.data(), static_cast<int>(escaped.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, escaped.data(), static_cast<int>(escaped.size()), utf8.data(), length, nullptr,
                      nullptr);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  const DWORD limit = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
  const DWORD start = GetTickCount();
  // The box counts once it is shown with its text: it is found by its
  // caption a moment before that.
  HWND box = nullptr;
  wchar_t text[4096] = {};
  while ((box = FindWindowW(L"#32770", argv[1])) == nullptr || !IsWindowVisible(box) ||
         GetDlgItemTextW(box, kTextId, text, 4096) == 0) {
    if (GetTickCount() - start > limit) return 1;
    Sleep(100);
  }
  wchar_t owner[256] = {};
  GetWindowTextW(GetWindow(box, GW_OWNER), owner, 256);
  Print(L"text=" + std::wstring(text));
  Print(L"owner=" + std::wstring(owner));
  return 0;
}
