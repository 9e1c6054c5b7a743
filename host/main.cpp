// Process entry and UI thread: elevation, COM, the catalogue, the main window,
// the web view and the message loop.

#include <windows.h>

#include <dwmapi.h>
#include <shellapi.h>
#include <wrl/client.h>

#include <string>
#include <utility>

#include "catalogue/catalogue.h"
#include "host/error_box.h"
#include "host/main_window.h"
#include "host/resource_ids.h"
#include "host/webview_host.h"
#include "platform/message_window.h"
#include "platform/restore_point.h"
#include "protocol/outbox.h"
#include "system/system_probe.h"

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

// Starts this program again through the elevation prompt. True when the
// elevated copy was started (it is neither waited for nor watched).
bool RelaunchElevated() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.lpVerb = L"runas";
  info.lpFile = path;
  info.nShow = SW_SHOWNORMAL;
  return ShellExecuteExW(&info) != FALSE;
}

void SetFrameAttribute(HWND window, DWORD attribute, DWORD value) {
  DwmSetWindowAttribute(window, attribute, &value, sizeof value);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  // When the prompt is declined the program carries on unelevated, and the
  // page says so.
  if (!IsElevated() && RelaunchElevated()) return 0;

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
  SetFrameAttribute(window, kDarkModeAttribute, TRUE);
  SetFrameAttribute(window, kDarkModeAttributeBefore20H1, TRUE);
  SetFrameAttribute(window, kCornerPreferenceAttribute, kRoundCorners);
  SetFrameAttribute(window, kBorderColorAttribute, kAccentBorder);
  ShowWindow(window, showCommand);
  UpdateWindow(window);

  if (FAILED(CreateWebView(window))) {
    ShowErrorBox(window, std::wstring(L"CreateCoreWebView2EnvironmentWithOptions failed.\nInstall the Microsoft Edge "
                                      L"WebView2 Runtime:\n") +
                             kRuntimeDownloadAddress);
    return 1;
  }

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
