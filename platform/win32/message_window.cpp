#include "platform/message_window.h"

#include <windows.h>

namespace platform {

static_assert(kFirstPrivateMessage == WM_APP);

namespace {

constexpr wchar_t kClassName[] = L"QuarnfeldMessageWindow";

LRESULT CALLBACK MessageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message >= WM_APP && message <= 0xBFFF) {
    const auto handler = reinterpret_cast<MessageHandler>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (handler != nullptr) handler(message);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

Window CreateMessageWindow(MessageHandler handler) {
  static const ATOM windowClass = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = MessageWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClassName;
    return RegisterClassExW(&wc);
  }();
  if (windowClass == 0) return nullptr;
  // A message-only window: no display needed, never shown, receives posted messages.
  HWND window =
      CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (window == nullptr) return nullptr;
  // Posted messages are dispatched only by the loop, so none can arrive before this.
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(handler));
  return window;
}

void DestroyMessageWindow(Window window) { DestroyWindow(static_cast<HWND>(window)); }

bool PostWindowMessage(Window window, uint32_t message) {
  return PostMessageW(static_cast<HWND>(window), message, 0, 0) != FALSE;
}

int RunMessageLoop() {
  MSG msg{};
  int got;
  while ((got = GetMessageW(&msg, nullptr, 0, 0)) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return got == 0 ? static_cast<int>(msg.wParam) : -1;
}

void QuitMessageLoop(int exitCode) { PostQuitMessage(exitCode); }

}  // namespace platform
