#pragma once
// Files and folders: a file created exclusively and then held open for reading
// only, folders only administrators can write, and what a path names without
// following links. Each function does one system thing and reports plainly.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

// An open file, pipe end or process; 0 means none.
using Handle = std::uintptr_t;

struct LockedFile {
  Handle handle = 0;
  FileIdentity identity;
  std::string content;
};

// Creates a new file (never opens an existing one), writes `content` and
// closes it. With `administratorsOnly` the file gets a protected DACL that
// grants access to the Administrators group and SYSTEM alone. A file that was
// created but could not be written completely is deleted again (Failed).
CreatedFile CreateNewFile(const std::u16string& path, std::string_view content, bool administratorsOnly);

// Opens an existing file for reading with read-only sharing, so that while the
// handle is open nobody can write, delete or rename it; reads up to `maxBytes`
// of its content. handle 0 on failure.
LockedFile OpenLockedForReading(const std::u16string& path, size_t maxBytes);

// Closes a file or a pipe end.
void CloseFile(Handle file);
void DeleteFileAt(const std::u16string& path);

// What a path names, looked at without following a link: Link for any
// junction, symbolic link or other reparse point.
enum class EntryKind { Missing, File, Directory, Link, Unreadable };
EntryKind KindOfEntry(const std::u16string& path);

// Who owns a folder and whom its DACL lets in, as security identifiers in
// string form ("S-1-5-32-544"). An access entry other than a plain allow or
// deny entry is Other. For anything but a plain directory only `kind` is set.
struct AccessEntry {
  enum class Type { Allow, Deny, Other };
  Type type = Type::Other;
  std::u16string sid;
};
struct FolderSecurity {
  EntryKind kind = EntryKind::Unreadable;
  std::u16string owner;
  bool hasDacl = false;  // false: a missing (null) DACL, which lets everybody in
  std::vector<AccessEntry> entries;
};
FolderSecurity FolderSecurityOf(const std::u16string& path);

// The owner of the system folder (TrustedInstaller on Windows); empty when it
// cannot be read.
std::u16string SystemFolderOwner();

// Creates a new folder (never opens an existing one) owned by the
// Administrators group, with a protected DACL that grants access to the
// Administrators group and SYSTEM alone. False when the name is taken or the
// creation fails (unelevated it always fails on Windows).
bool CreateAdministratorsOnlyDirectory(const std::u16string& path);

// Renames a file or folder; a link is renamed itself, never its target. Never
// replaces an existing entry.
bool RenameEntry(const std::u16string& from, const std::u16string& to);

void RemoveEmptyDirectory(const std::u16string& path);

}  // namespace platform
