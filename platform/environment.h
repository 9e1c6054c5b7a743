#pragma once
// What a child's environment is built from besides the registry: the system's
// own folders, the user's identity, and (where no boundary is crossed) this
// process's temporary folder. Each answers empty when the system call fails.

#include <string>

namespace platform {

// The Windows folder (C:\Windows) and the system folder (C:\Windows\System32),
// as the system reports them, without a trailing separator.
std::u16string WindowsDirectory();
std::u16string SystemDirectory();

// The security identifier of the user this process runs as ("S-1-5-21-...").
std::u16string UserSid();

// The temporary folder of this process's environment, ending in a separator.
std::u16string TemporaryDirectory();

}  // namespace platform
