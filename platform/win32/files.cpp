#include <windows.h>
// After windows.h:
#include <aclapi.h>
#include <sddl.h>

#include <climits>

#include "platform/environment.h"
#include "platform/files.h"

namespace platform {
namespace {

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
HANDLE H(Handle h) { return reinterpret_cast<HANDLE>(h); }

// Full access for Administrators and SYSTEM, nobody else, nothing inherited
// from the folder above.
constexpr wchar_t kAdministratorsOnlyDacl[] = L"D:P(A;;FA;;;BA)(A;;FA;;;SY)";
constexpr wchar_t kAdministratorsOnlyFolder[] = L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

FileIdentity IdentityOf(HANDLE file, bool* ok) {
  BY_HANDLE_FILE_INFORMATION info{};
  *ok = GetFileInformationByHandle(file, &info) != 0;
  return {info.dwVolumeSerialNumber, (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

std::u16string SidText(PSID sid) {
  wchar_t* text = nullptr;
  if (sid == nullptr || !ConvertSidToStringSidW(sid, &text)) return {};
  std::u16string out(reinterpret_cast<const char16_t*>(text));
  LocalFree(text);
  return out;
}

}  // namespace

CreatedFile CreateNewFile(const std::u16string& path, std::string_view content, bool administratorsOnly) {
  if (content.size() > static_cast<size_t>(MAXDWORD)) return {};
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, FALSE};
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (administratorsOnly) {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnlyDacl, SDDL_REVISION_1, &sd, nullptr)) {
      return {};
    }
    sa.lpSecurityDescriptor = sd;
  }
  HANDLE file = CreateFileW(W(path), GENERIC_WRITE, 0, administratorsOnly ? &sa : nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD createError = GetLastError();
  if (sd) LocalFree(sd);
  if (file == INVALID_HANDLE_VALUE) {
    const bool taken = createError == ERROR_FILE_EXISTS || createError == ERROR_ALREADY_EXISTS;
    return {taken ? CreateStatus::NameTaken : CreateStatus::Failed, {}};
  }
  DWORD written = 0;
  const bool wroteAll = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
                        written == content.size();
  bool identified = false;
  const FileIdentity identity = IdentityOf(file, &identified);
  CloseHandle(file);
  if (!wroteAll || !identified) {
    DeleteFileW(W(path));
    return {};
  }
  return {CreateStatus::Created, identity};
}

LockedFile OpenLockedForReading(const std::u16string& path, size_t maxBytes) {
  HANDLE file =
      CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  LockedFile locked;
  locked.handle = reinterpret_cast<Handle>(file);
  bool identified = false;
  locked.identity = IdentityOf(file, &identified);
  if (!identified || maxBytes > static_cast<size_t>(INT_MAX)) {
    CloseHandle(file);
    return {};
  }
  locked.content.resize(maxBytes);
  size_t total = 0;
  while (total < maxBytes) {
    DWORD got = 0;
    if (!ReadFile(file, locked.content.data() + total, static_cast<DWORD>(maxBytes - total), &got, nullptr) ||
        got == 0) {
      break;
    }
    total += got;
  }
  locked.content.resize(total);
  return locked;
}

void CloseFile(Handle file) {
  if (file) CloseHandle(H(file));
}

void DeleteFileAt(const std::u16string& path) { DeleteFileW(W(path)); }

EntryKind KindOfEntry(const std::u16string& path) {
  // GetFileAttributesW describes a link itself, not its target.
  const DWORD attributes = GetFileAttributesW(W(path));
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? EntryKind::Missing : EntryKind::Unreadable;
  }
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryKind::Link;
  return attributes & FILE_ATTRIBUTE_DIRECTORY ? EntryKind::Directory : EntryKind::File;
}

FolderSecurity FolderSecurityOf(const std::u16string& path) {
  FolderSecurity folder;
  folder.kind = KindOfEntry(path);
  if (folder.kind != EntryKind::Directory) return folder;
  // Opened without following a reparse point, so that a link put in place
  // since is described as itself.
  HANDLE handle =
      CreateFileW(W(path), READ_CONTROL | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    folder.kind = EntryKind::Unreadable;
    return folder;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!GetFileInformationByHandle(handle, &info) ||
      GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                      &dacl, nullptr, &sd) != ERROR_SUCCESS) {
    CloseHandle(handle);
    folder.kind = EntryKind::Unreadable;
    return folder;
  }
  CloseHandle(handle);
  if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    folder.kind = EntryKind::Link;
  } else if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    folder.kind = EntryKind::File;
  }
  folder.owner = SidText(owner);
  folder.hasDacl = dacl != nullptr;
  for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) {
      folder.entries.push_back({AccessEntry::Type::Other, {}});
      continue;
    }
    const BYTE type = static_cast<ACE_HEADER*>(ace)->AceType;
    if (type == ACCESS_ALLOWED_ACE_TYPE) {
      folder.entries.push_back({AccessEntry::Type::Allow, SidText(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart)});
    } else if (type == ACCESS_DENIED_ACE_TYPE) {
      folder.entries.push_back({AccessEntry::Type::Deny, SidText(&static_cast<ACCESS_DENIED_ACE*>(ace)->SidStart)});
    } else {
      folder.entries.push_back({AccessEntry::Type::Other, {}});
    }
  }
  LocalFree(sd);
  return folder;
}

std::u16string SystemFolderOwner() {
  const std::u16string system = SystemDirectory();
  if (system.empty()) return {};
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (GetNamedSecurityInfoW(W(system), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                            &sd) != ERROR_SUCCESS) {
    return {};
  }
  std::u16string text = SidText(owner);
  LocalFree(sd);
  return text;
}

bool CreateAdministratorsOnlyDirectory(const std::u16string& path) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnlyFolder, SDDL_REVISION_1, &sd, nullptr)) {
    return false;
  }
  SECURITY_ATTRIBUTES sa{sizeof sa, sd, FALSE};
  const bool created = CreateDirectoryW(W(path), &sa) != 0;
  LocalFree(sd);
  return created;
}

bool RenameEntry(const std::u16string& from, const std::u16string& to) { return MoveFileExW(W(from), W(to), 0) != 0; }

void RemoveEmptyDirectory(const std::u16string& path) { RemoveDirectoryW(W(path)); }

}  // namespace platform
