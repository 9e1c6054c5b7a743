#include "platform/data_folder.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <iterator>
#include <vector>

namespace platform {

namespace {

// Owned by the Administrators group; Administrators and SYSTEM alone, with
// nothing inherited from %ProgramData% (where users may create folders).
constexpr wchar_t kAdministratorsOnly[] = L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

// The owner of the system folder: TrustedInstaller on Windows, the prefix's
// user under Wine (which keeps no security of its own for files).
std::vector<BYTE> SystemFolderOwner() {
  wchar_t system[MAX_PATH];
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  std::vector<BYTE> sid;
  if (length > 0 && length < MAX_PATH &&
      GetNamedSecurityInfoW(system, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                            &descriptor) == ERROR_SUCCESS &&
      owner != nullptr && IsValidSid(owner)) {
    const auto* bytes = static_cast<const BYTE*>(owner);
    sid.assign(bytes, bytes + GetLengthSid(owner));
  }
  LocalFree(descriptor);
  return sid;
}

bool Administrative(PSID sid, const std::vector<BYTE>& systemOwner) {
  return sid != nullptr &&
         (IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || IsWellKnownSid(sid, WinLocalSystemSid) ||
          (!systemOwner.empty() && EqualSid(sid, const_cast<BYTE*>(systemOwner.data()))));
}

// A plain directory owned by Administrators, SYSTEM or the system folder's
// owner, whose DACL allows nobody else anything.
bool Trusted(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return false;
  }
  const std::vector<BYTE> systemOwner = SystemFolderOwner();
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                            &owner, nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  bool trusted = Administrative(owner, systemOwner) && dacl != nullptr;
  for (DWORD i = 0; trusted && i < dacl->AceCount; ++i) {
    ACE_HEADER* header = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) {
      trusted = false;
    } else if (header->AceType == ACCESS_ALLOWED_ACE_TYPE) {
      trusted = Administrative(&reinterpret_cast<ACCESS_ALLOWED_ACE*>(header)->SidStart, systemOwner);
    } else {
      trusted = header->AceType == ACCESS_DENIED_ACE_TYPE;
    }
  }
  LocalFree(descriptor);
  return trusted;
}

}  // namespace

std::u16string AdministratorsDataFolder() {
  PWSTR programData = nullptr;
  std::wstring folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_ProgramData, KF_FLAG_DEFAULT, nullptr, &programData))) {
    folder =
        std::wstring(programData) + L"\\" + std::wstring(std::begin(kDataFolderName), std::end(kDataFolderName) - 1);
  }
  CoTaskMemFree(programData);
  if (folder.empty()) return {};
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnly, SDDL_REVISION_1, &descriptor,
                                                            nullptr)) {
    return {};
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  const bool created = CreateDirectoryW(folder.c_str(), &attributes) != FALSE;
  LocalFree(descriptor);
  if (!created && (GetLastError() != ERROR_ALREADY_EXISTS || !Trusted(folder))) return {};
  return std::u16string(folder.begin(), folder.end()) + u"\\";
}

}  // namespace platform
