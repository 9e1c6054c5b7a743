// Child program of outbox_late_push_test: the shape of closing the window while
// a run is active. The UI thread runs its loop and drains, a run thread keeps
// pushing, then the window goes away and main returns while the run thread is
// still pushing. Exit code 0 unless something breaks during process exit.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/message_window.h"
#include "protocol/outbox.h"
#include "protocol/page_messages.h"

namespace {

constexpr int kDeliveredBeforeClose = 200;
int g_delivered = 0;
std::atomic<int> g_pushes{0};

// Constructed before main, so destroyed after every static object that is
// first used in main (the outbox's among them, were it ever destroyed). It
// holds process exit there until the run thread has pushed a good many more
// texts, which makes the race certain instead of a matter of timing.
struct PushesDuringExit {
  ~PushesDuringExit() {
    const int seen = g_pushes;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (g_pushes < seen + 300 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  }
} g_pushesDuringExit;

// Closing as the host does: the window goes first, then the loop is told to
// end. The quit is seen only once no posted message is left, which needs the
// run thread's posts to fail from then on.
void OnMessage(uint32_t message) {
  if (message != WM_OUTBOX) return;
  DrainOutbox();
  if (g_delivered < kDeliveredBeforeClose) return;
  platform::DestroyMessageWindow(g_mainWindow);
  platform::QuitMessageLoop(0);
}

}  // namespace

int main() {
  const platform::Window window = platform::CreateMessageWindow(&OnMessage);
  if (window == nullptr) return 2;
  g_mainWindow = window;
  g_webView = [](const std::u16string&) { ++g_delivered; };

  std::thread([] {
    for (int i = 0;; ++i) {
      PostLog(LogLevel::Info, "[%d/%d] %s", i + 1, 421, "Disable telemetry");
      PostProgress(i, 421, i, 0);
      PostToPageUtf8("{\"type\":\"done\",\"ok\":" + std::to_string(i) + ",\"err\":0}");
      g_pushes += 3;
    }
  }).detach();

  return platform::RunMessageLoop();
}
