#pragma once
// What the batch runner needs of the operating system: the temporary folder, a
// file created exclusively and then held open for reading only, and a hidden
// child process. Each function does one system thing and reports plainly.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Identifies one file on one volume, whatever its name.
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t index = 0;
  bool operator==(const FileIdentity&) const = default;
};

enum class CreateStatus { Created, NameTaken, Failed };

struct CreatedFile {
  CreateStatus status = CreateStatus::Failed;
  FileIdentity identity;
};

// An open file or process; 0 means none.
using Handle = std::uintptr_t;

struct LockedFile {
  Handle handle = 0;
  FileIdentity identity;
  std::string content;
};

// The user's temporary folder, ending in a separator; empty on failure.
std::u16string TemporaryDirectory();

uint32_t CurrentProcessId();

// Creates a new file (never opens an existing one), writes `content` and
// closes it. With `administratorsOnly` the file gets a protected DACL that
// grants access to the Administrators group and SYSTEM alone. A file that was
// created but could not be written completely is deleted again (Failed).
CreatedFile CreateNewFile(const std::u16string& path, std::string_view content, bool administratorsOnly);

// Opens an existing file for reading with read-only sharing, so that while the
// handle is open nobody can write, delete or rename it; reads up to `maxBytes`
// of its content. handle 0 on failure.
LockedFile OpenLockedForReading(const std::u16string& path, size_t maxBytes);

void CloseFile(Handle file);
void DeleteFileAt(const std::u16string& path);

// Starts `commandLine` hidden, without a console window and without handle
// inheritance; 0 on failure.
Handle StartHiddenProcess(const std::u16string& commandLine);
// Waits at most `timeoutMs`; then the exit code (259, STILL_ACTIVE, while it
// runs), or nothing when it cannot be read. Closes the process handle.
std::optional<uint32_t> WaitAndClose(Handle process, uint32_t timeoutMs);

}  // namespace platform
