// Stand-in for the Win32 message queue: one process-wide queue of posted
// messages, served by the thread that runs the loop. Window records are never
// freed, so a handle stays safe to post to after DestroyMessageWindow (the post
// fails, as PostMessageW does for a destroyed window), and the queue itself is
// never destroyed, so threads that post while the process exits touch live
// memory.
#include "platform/message_window.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>

namespace platform {
namespace {

struct WindowRecord {
  MessageHandler handler;
  bool alive;
};

struct MessageQueue {
  std::mutex mutex;
  std::condition_variable posted;
  std::deque<WindowRecord> windows;  // grows only; elements never move
  std::deque<std::pair<WindowRecord*, uint32_t>> messages;
  std::optional<int> quitCode;
};

MessageQueue& Queue() {
  static MessageQueue* const queue = new MessageQueue;
  return *queue;
}

}  // namespace

Window CreateMessageWindow(MessageHandler handler) {
  MessageQueue& q = Queue();
  std::lock_guard lock(q.mutex);
  return &q.windows.emplace_back(WindowRecord{handler, true});
}

void DestroyMessageWindow(Window window) {
  if (window == nullptr) return;
  MessageQueue& q = Queue();
  std::lock_guard lock(q.mutex);
  static_cast<WindowRecord*>(window)->alive = false;
}

bool PostWindowMessage(Window window, uint32_t message) {
  MessageQueue& q = Queue();
  auto* record = static_cast<WindowRecord*>(window);
  {
    std::lock_guard lock(q.mutex);
    if (record == nullptr || !record->alive) return false;
    q.messages.emplace_back(record, message);
  }
  q.posted.notify_one();
  return true;
}

int RunMessageLoop() {
  MessageQueue& q = Queue();
  std::unique_lock lock(q.mutex);
  for (;;) {
    q.posted.wait(lock, [&q] { return !q.messages.empty() || q.quitCode.has_value(); });
    if (q.messages.empty()) return *std::exchange(q.quitCode, std::nullopt);
    const auto [record, message] = q.messages.front();
    q.messages.pop_front();
    if (!record->alive || message < kFirstPrivateMessage || message > 0xBFFF) continue;
    const MessageHandler handler = record->handler;
    // Handlers post and destroy windows themselves; never call them locked.
    lock.unlock();
    handler(message);
    lock.lock();
  }
}

void QuitMessageLoop(int exitCode) {
  MessageQueue& q = Queue();
  {
    std::lock_guard lock(q.mutex);
    q.quitCode = exitCode;
  }
  q.posted.notify_one();
}

}  // namespace platform
