#pragma once
// The program's folder under %ProgramData%, which only administrators can
// write: for files an elevated run must not let an unelevated process change
// (the batch files, the web view's data, the journal).
//
// A standard user can create folders under %ProgramData%, so a folder of that
// name is used only when it is a plain directory (no junction or symbolic
// link) owned by the Administrators group, SYSTEM or the owner of the system
// folder, whose DACL lets nobody else in. Anything else found under the name
// is renamed aside, to "Quarnfeld Optimizer.untrusted-<16 hex digits>" (never
// opened, followed or deleted), and a fresh folder is created in its place.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace platform {

inline constexpr char16_t kDataFolderName[] = u"Quarnfeld Optimizer";

// The folder's path, ending in a separator; empty when no trusted folder can be
// had (unelevated, or the untrusted one cannot be moved).
std::u16string AdministratorsDataFolder();

// True when the folder is a plain directory that only the Administrators
// group, SYSTEM and `systemOwner` own and may enter.
bool IsAdministratorsOnly(const FolderSecurity& folder, std::u16string_view systemOwner);

// The operations the decision uses, replaceable for tests.
struct DataFolderSystem {
  std::function<std::u16string()> programData;  // without a trailing separator
  std::function<std::u16string()> systemFolderOwner;
  std::function<FolderSecurity(const std::u16string&)> folderSecurity;
  std::function<bool(const std::u16string&)> createAdministratorsOnlyDirectory;
  std::function<bool(const std::u16string&, const std::u16string&)> renameEntry;
  std::function<uint64_t()> randomNumber;
};
DataFolderSystem SystemDataFolderOperations();
std::u16string AdministratorsDataFolderWith(const DataFolderSystem& system);

// How often a name found taken is set aside before giving up.
inline constexpr int kDataFolderAttempts = 3;

// "0123456789abcdef" digits of `n`, 16 of them.
std::u16string Hex16(uint64_t n);

// `directory` and `name` joined with the separator `directory` already uses
// ('\\' unless it holds a '/').
std::u16string JoinPath(const std::u16string& directory, std::u16string_view name);

}  // namespace platform
