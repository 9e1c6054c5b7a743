#include "platform/random.h"

#include <sys/random.h>

namespace platform {

uint64_t RandomNumber() {
  uint64_t n = 0;
  if (getrandom(&n, sizeof n, 0) != static_cast<ssize_t>(sizeof n)) return 0;
  return n;
}

}  // namespace platform
