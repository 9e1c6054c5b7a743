#pragma once
// Facts about this machine and process: display adapters, user and computer
// names, elevation. Each answers with an empty result when the system call fails.

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct DisplayAdapter {
  uint32_t vendorId = 0;
  uint64_t dedicatedVideoMemory = 0;
  std::u16string description;
};

// The adapters the graphics infrastructure enumerates, in its order; an
// adapter whose description cannot be read is left out. Empty when the
// enumeration cannot start.
std::vector<DisplayAdapter> DisplayAdapters();

// The user name of the process, and the computer name; empty on failure
// (a name that does not fit in 256 UTF-16 units fails).
std::u16string UserName();
std::u16string ComputerName();

// True when the process token is elevated (POSIX: the effective user is root).
bool ProcessIsElevated();

}  // namespace platform
