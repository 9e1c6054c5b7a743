#pragma once
// The machine's folders, read from the system and from the machine's registry
// (which only administrators can write), never from this process's
// environment: an unelevated process of the user made that environment, and
// HKCU\Environment lets it put anything there.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Paths without a trailing separator; a folder that cannot be read is empty.
struct SystemFolders {
  std::u16string windows;  // C:\Windows
  std::u16string system;   // C:\Windows\System32
  std::u16string programData;
  std::u16string publicProfile;
  std::u16string programFiles;
  std::u16string programFilesX86;
  std::u16string commonFiles;
  std::u16string commonFilesX86;
  std::u16string profile;  // the user's, from the profile list entry of the user's identifier
};
SystemFolders ReadSystemFolders();

// ProgramData alone, as ReadSystemFolders reads it.
std::u16string ProgramDataFolder();

// `text` with %SystemDrive%, %SystemRoot% and %windir% (any case) replaced from
// `windows`; empty when any other '%' is left, so that nothing is taken from
// this process's environment.
std::u16string ExpandSystemVariables(std::u16string_view text, std::u16string_view windows);

// A registry string as ReadMachineRegistryValue gives it (UTF-16LE bytes),
// without its terminating NULs; empty for nothing or an odd byte count.
std::u16string RegistryText(const std::optional<std::string>& data);

}  // namespace platform
