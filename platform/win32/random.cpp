#include "platform/random.h"

#include <windows.h>
// After windows.h:
#include <ntsecapi.h>

namespace platform {

uint64_t RandomNumber() {
  uint64_t n = 0;
  if (!RtlGenRandom(&n, sizeof n)) return 0;
  return n;
}

}  // namespace platform
