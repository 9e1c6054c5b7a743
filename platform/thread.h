#pragma once

#include <cstdint>

namespace platform {

// Starts `entry(argument)` on a new thread that is never joined. False when no
// thread could be started (then `entry` never runs).
//
// Windows threads are made with CreateThread: the MinGW posix thread layer
// under std::thread was seen to lose a freshly started thread now and then
// (it never ran), which would leave a run announced but never finished.
bool StartDetachedThread(void (*entry)(void* argument), void* argument);

// The same for a thread that JoinThread waits for, once; 0 when no thread
// could be started (then `entry` never runs).
using ThreadHandle = std::uintptr_t;
ThreadHandle StartThread(void (*entry)(void* argument), void* argument);
void JoinThread(ThreadHandle thread);

}  // namespace platform
