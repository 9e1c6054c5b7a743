// The outbox with a window made the way the host makes its main window: its own
// class and window procedure that answers WM_OUTBOX with DrainOutbox, and a
// GetMessageW loop. The window is message-only because the Wine prefix of the
// tests has no display; posting and dispatching work as for a top-level window.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "protocol/outbox.h"

namespace {

static_assert(WM_OUTBOX == WM_APP + 1 && WM_OUTBOX == 0x8001);

struct Seen {
  std::vector<std::u16string> delivered;
  std::vector<size_t> deliveredPerNotification;
  std::vector<std::pair<WPARAM, LPARAM>> parameters;
};
Seen g_seen;

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_OUTBOX) {
    g_seen.parameters.emplace_back(wParam, lParam);
    const size_t before = g_seen.delivered.size();
    DrainOutbox();
    g_seen.deliveredPerNotification.push_back(g_seen.delivered.size() - before);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateHostWindow() {
  static const ATOM windowClass = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = HostWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"OutboxTestHostWindow";
    return RegisterClassExW(&wc);
  }();
  if (windowClass == 0) return nullptr;
  return CreateWindowExW(0, L"OutboxTestHostWindow", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

// The host's loop, ended once everything posted so far has been handled.
void RunLoopOverPostedMessages() {
  PostQuitMessage(0);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

class HostWindowOutbox : public testing::Test {
 protected:
  void SetUp() override {
    g_webView = nullptr;
    DrainOutbox();
    g_seen = {};
    window_ = CreateHostWindow();
    ASSERT_NE(window_, nullptr);
    g_mainWindow = window_;
    g_webView = [](const std::u16string& json) { g_seen.delivered.push_back(json); };
  }
  void TearDown() override {
    g_mainWindow = nullptr;
    g_webView = nullptr;
    DestroyWindow(window_);
  }

  HWND window_ = nullptr;
};

TEST_F(HostWindowOutbox, EachPushPostsOneWmOutboxWithZeroParametersAndTheFirstDeliversAll) {
  PostToPageUtf8("{\"type\":\"log\",\"level\":\"info\",\"text\":\"Привет\"}");
  PostToPageUtf8("{\"type\":\"progress\",\"cur\":0,\"max\":3,\"ok\":0,\"err\":0}");
  PostToPage(u"{\"type\":\"done\",\"ok\":0,\"err\":0}");
  RunLoopOverPostedMessages();
  EXPECT_EQ(g_seen.delivered, (std::vector<std::u16string>{
                                  u"{\"type\":\"log\",\"level\":\"info\",\"text\":\"Привет\"}",
                                  u"{\"type\":\"progress\",\"cur\":0,\"max\":3,\"ok\":0,\"err\":0}",
                                  u"{\"type\":\"done\",\"ok\":0,\"err\":0}",
                              }));
  EXPECT_EQ(g_seen.deliveredPerNotification, (std::vector<size_t>{3, 0, 0}));
  EXPECT_EQ(g_seen.parameters, (std::vector<std::pair<WPARAM, LPARAM>>(3, {0, 0})));
}

TEST_F(HostWindowOutbox, PushToADestroyedWindowKeepsItsTextForTheNextDrain) {
  HWND gone = CreateHostWindow();
  ASSERT_NE(gone, nullptr);
  DestroyWindow(gone);
  g_mainWindow = gone;
  PostToPageUtf8("while the window was gone");
  RunLoopOverPostedMessages();
  EXPECT_TRUE(g_seen.deliveredPerNotification.empty());

  g_mainWindow = window_;
  PostToPageUtf8("later");
  RunLoopOverPostedMessages();
  EXPECT_EQ(g_seen.delivered, (std::vector<std::u16string>{u"while the window was gone", u"later"}));
  EXPECT_EQ(g_seen.deliveredPerNotification, std::vector<size_t>{2});
}

}  // namespace
