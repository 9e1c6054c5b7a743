#include "protocol/outbox.h"

#include <deque>
#include <mutex>
#include <utility>

#include "protocol/json_text.h"

std::atomic<platform::Window> g_mainWindow{nullptr};
PageSink g_webView;

namespace {

struct Outbox {
  std::mutex mutex;
  std::deque<std::u16string> queue;
};

// Allocated on first use and never destroyed: see the header.
Outbox& TheOutbox() {
  static Outbox* const outbox = new Outbox;
  return *outbox;
}

void Push(std::u16string&& json) {
  Outbox& outbox = TheOutbox();
  {
    std::lock_guard lock(outbox.mutex);
    outbox.queue.push_back(std::move(json));
  }
  // A failed post leaves the text queued for the drain of a later notification.
  if (const platform::Window window = g_mainWindow.load()) platform::PostWindowMessage(window, WM_OUTBOX);
}

}  // namespace

void PostToPage(const std::u16string& json) { Push(std::u16string(json)); }

void PostToPage(std::u16string&& json) { Push(std::move(json)); }

void PostToPageUtf8(const std::string& json) { Push(Utf8ToUtf16(json)); }

void DrainOutbox() {
  std::deque<std::u16string> taken;
  Outbox& outbox = TheOutbox();
  {
    std::lock_guard lock(outbox.mutex);
    taken.swap(outbox.queue);
  }
  if (!g_webView) return;
  for (const std::u16string& json : taken) g_webView(json);
}
