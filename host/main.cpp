// Process entry and UI thread: the DLL search path, COM, the catalogue, the
// main window, the web view and the message loop.
//
// The manifest requires administrator rights: Windows starts the program
// elevated, or not at all when the prompt is declined. Only where User Account
// Control is switched off does a standard user's start run unelevated; the
// page then says that it has no administrator rights.

#include <windows.h>

#include <wrl/client.h>

#include <utility>

#include "catalogue/catalogue.h"
#include "host/main_window.h"
#include "host/resource_ids.h"
#include "host/webview_host.h"
#include "platform/message_window.h"
#include "platform/restore_point.h"
#include "platform/win32/system_library.h"
#include "protocol/outbox.h"

namespace {

// Frame attributes by number: 19 has no published name (Windows 10 before
// 20H1 reads the dark-mode switch there), and systems without an attribute
// simply keep their default.
constexpr DWORD kDarkModeAttribute = 20;  // DWMWA_USE_IMMERSIVE_DARK_MODE
constexpr DWORD kDarkModeAttributeBefore20H1 = 19;
constexpr DWORD kCornerPreferenceAttribute = 33;        // DWMWA_WINDOW_CORNER_PREFERENCE
constexpr DWORD kBorderColorAttribute = 34;             // DWMWA_BORDER_COLOR
constexpr DWORD kRoundCorners = 2;                      // DWMWCP_ROUND
constexpr DWORD kAccentBorder = RGB(0x7C, 0x5C, 0xFC);  // #7C5CFC, the page's accent

using SetWindowAttribute = HRESULT(WINAPI*)(HWND window, DWORD attribute, LPCVOID value, DWORD size);

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  // Before anything else loads: a DLL named without a path (by this program,
  // COM, the WebView2 loader, which asks for version.dll) comes from System32
  // only, never from the program's folder, which is often Downloads.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);

  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  // Before the web view uses COM: System Restore calls back into the process
  // that asks it for a restore point.
  platform::AllowSystemRestoreCallbacks();
  g_catalogue = BuildCatalogue();

  HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APPICON));
  if (icon == nullptr) icon = LoadIconW(nullptr, IDI_APPLICATION);

  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = WndProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = icon;
  windowClass.hIconSm = icon;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = kMainWindowClass;
  RegisterClassExW(&windowClass);

  // Centred on the primary screen, not clamped: on a smaller screen the
  // window starts above and left of it.
  const int x = (GetSystemMetrics(SM_CXSCREEN) - kMainWindowWidth) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - kMainWindowHeight) / 2;
  HWND window = CreateWindowExW(0, kMainWindowClass, kMainWindowTitle, WS_OVERLAPPEDWINDOW, x, y, kMainWindowWidth,
                                kMainWindowHeight, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  g_mainWindow.store(window);

  if (icon != nullptr) {
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  }
  if (const auto setAttribute = platform::SystemFunction<SetWindowAttribute>(L"dwmapi.dll", "DwmSetWindowAttribute")) {
    for (const auto& [attribute, value] : {std::pair{kDarkModeAttribute, DWORD{TRUE}},
                                           {kDarkModeAttributeBefore20H1, DWORD{TRUE}},
                                           {kCornerPreferenceAttribute, kRoundCorners},
                                           {kBorderColorAttribute, kAccentBorder}}) {
      setAttribute(window, attribute, &value, sizeof value);
    }
  }
  ShowWindow(window, showCommand);
  UpdateWindow(window);

  if (!CreateWebView(window)) return 1;

  // Ends with the code of WM_QUIT: 0 when the window was closed, 1 when the
  // web view could not be created; -1 if the message queue cannot be read.
  const int exitCode = platform::RunMessageLoop();

  {
    PageSink webView = std::move(g_webView);
    g_webView = nullptr;
  }
  {
    Microsoft::WRL::ComPtr<ICoreWebView2Controller> controller;
    controller.Swap(g_controller);
  }
  CoUninitialize();
  return exitCode;
}
