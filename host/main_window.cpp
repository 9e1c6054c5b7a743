#include "host/main_window.h"

#include "host/webview_host.h"
#include "protocol/outbox.h"

LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_SIZE:
      // Before the web view exists there is nothing to resize; minimised, the
      // client area and so the bounds are empty.
      if (g_controller) {
        RECT client{};
        GetClientRect(window, &client);
        g_controller->put_Bounds(client);
      }
      return 0;
    case WM_CLOSE: DestroyWindow(window); return 0;
    case WM_OUTBOX: DrainOutbox(); return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
  }
}
