#include "platform/thread.h"

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

}  // namespace platform
