#include "platform/thread.h"

#include <pthread.h>

#include <new>
#include <system_error>
#include <thread>

namespace platform {

bool StartDetachedThread(void (*entry)(void* argument), void* argument) {
  try {
    std::thread(entry, argument).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

ThreadHandle StartThread(void (*entry)(void* argument), void* argument) {
  struct Start {
    void (*entry)(void*);
    void* argument;
  };
  auto* start = new (std::nothrow) Start{entry, argument};
  if (start == nullptr) return 0;
  pthread_t thread{};
  const auto main = [](void* parameter) -> void* {
    const Start copy = *static_cast<Start*>(parameter);
    delete static_cast<Start*>(parameter);
    copy.entry(copy.argument);
    return nullptr;
  };
  if (pthread_create(&thread, nullptr, main, start) != 0) {
    delete start;
    return 0;
  }
  static_assert(sizeof(pthread_t) <= sizeof(ThreadHandle));
  return static_cast<ThreadHandle>(thread);
}

void JoinThread(ThreadHandle thread) { pthread_join(static_cast<pthread_t>(thread), nullptr); }

}  // namespace platform
