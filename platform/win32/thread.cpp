#include "platform/thread.h"

#include <windows.h>

#include <new>

namespace platform {
namespace {

struct Start {
  void (*entry)(void*);
  void* argument;
};

DWORD WINAPI ThreadMain(LPVOID parameter) {
  const Start start = *static_cast<Start*>(parameter);
  delete static_cast<Start*>(parameter);
  start.entry(start.argument);
  return 0;
}

}  // namespace

bool StartDetachedThread(void (*entry)(void* argument), void* argument) {
  auto* start = new (std::nothrow) Start{entry, argument};
  if (start == nullptr) return false;
  HANDLE thread = CreateThread(nullptr, 0, ThreadMain, start, 0, nullptr);
  if (thread == nullptr) {
    delete start;
    return false;
  }
  CloseHandle(thread);
  return true;
}

ThreadHandle StartThread(void (*entry)(void* argument), void* argument) {
  auto* start = new (std::nothrow) Start{entry, argument};
  if (start == nullptr) return 0;
  HANDLE thread = CreateThread(nullptr, 0, ThreadMain, start, 0, nullptr);
  if (thread == nullptr) {
    delete start;
    return 0;
  }
  return reinterpret_cast<ThreadHandle>(thread);
}

void JoinThread(ThreadHandle thread) {
  WaitForSingleObject(reinterpret_cast<HANDLE>(thread), INFINITE);
  CloseHandle(reinterpret_cast<HANDLE>(thread));
}

}  // namespace platform
