#include "platform/data_folder.h"

#include "platform/random.h"
#include "platform/system_folders.h"

namespace platform {
namespace {

constexpr std::u16string_view kAdministrators = u"S-1-5-32-544";
constexpr std::u16string_view kSystem = u"S-1-5-18";

char16_t SeparatorOf(const std::u16string& path) { return path.find(u'/') != std::u16string::npos ? u'/' : u'\\'; }

}  // namespace

std::u16string Hex16(uint64_t n) {
  std::u16string digits(16, u'0');
  for (int i = 15; i >= 0; --i, n >>= 4) digits[static_cast<size_t>(i)] = u"0123456789abcdef"[n & 0xF];
  return digits;
}

std::u16string JoinPath(const std::u16string& directory, std::u16string_view name) {
  std::u16string path = directory;
  const char16_t separator = SeparatorOf(directory);
  if (!path.empty() && path.back() != separator) path += separator;
  path += name;
  return path;
}

bool IsAdministratorsOnly(const FolderSecurity& folder, std::u16string_view systemOwner) {
  const auto trusted = [&](std::u16string_view sid) {
    return sid == kAdministrators || sid == kSystem || (!systemOwner.empty() && sid == systemOwner);
  };
  if (folder.kind != EntryKind::Directory || !folder.hasDacl || !trusted(folder.owner)) return false;
  for (const AccessEntry& entry : folder.entries) {
    // A deny entry takes nothing away from what administrators may do.
    if (entry.type == AccessEntry::Type::Deny) continue;
    if (entry.type != AccessEntry::Type::Allow || !trusted(entry.sid)) return false;
  }
  return true;
}

std::u16string AdministratorsDataFolderWith(const DataFolderSystem& system) {
  const std::u16string programData = system.programData();
  if (programData.empty()) return {};
  const std::u16string folder = JoinPath(programData, kDataFolderName);
  const std::u16string systemOwner = system.systemFolderOwner();
  for (int attempt = 0; attempt < kDataFolderAttempts; ++attempt) {
    const FolderSecurity found = system.folderSecurity(folder);
    if (IsAdministratorsOnly(found, systemOwner)) return folder + SeparatorOf(folder);
    if (found.kind == EntryKind::Missing) {
      // Created here, so it is ours; a name taken meanwhile is looked at again.
      if (system.createAdministratorsOnlyDirectory(folder)) return folder + SeparatorOf(folder);
      continue;
    }
    // Someone else's, or a link: set it aside without looking inside.
    const std::u16string aside = folder + u".untrusted-" + Hex16(system.randomNumber());
    if (!system.renameEntry(folder, aside)) return {};
  }
  return {};
}

DataFolderSystem SystemDataFolderOperations() {
  return {ProgramDataFolder, SystemFolderOwner, FolderSecurityOf, CreateAdministratorsOnlyDirectory,
          RenameEntry,       RandomNumber};
}

std::u16string AdministratorsDataFolder() {
  static const DataFolderSystem system = SystemDataFolderOperations();
  return AdministratorsDataFolderWith(system);
}

}  // namespace platform
