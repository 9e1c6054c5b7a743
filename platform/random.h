#pragma once

#include <cstdint>

namespace platform {

// 64 bits from the system's cryptographic random source; 0 only by chance or
// when the source fails.
uint64_t RandomNumber();

}  // namespace platform
