#include "platform/data_folder.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <memory>

#include "platform/machine.h"

namespace platform {

namespace {

// Full control for Administrators and SYSTEM, inherited by everything below,
// and nothing inherited from %ProgramData%, where users may create folders.
constexpr wchar_t kAdministratorsOnly[] = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

using Descriptor = std::unique_ptr<void, decltype(&LocalFree)>;

// The owner and DACL of a file or folder; the descriptor holds their memory.
Descriptor Security(const std::wstring& path, PSID* owner, PACL* dacl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, owner,
                            nullptr, dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    *owner = nullptr;
    *dacl = nullptr;
  }
  return Descriptor(descriptor, &LocalFree);
}

// Administrators, SYSTEM, or whoever owns the Windows folder (TrustedInstaller;
// under Wine the one user, who is the administrator there).
bool IsTrusted(PSID sid, PSID systemOwner) {
  return sid != nullptr &&
         (IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || IsWellKnownSid(sid, WinLocalSystemSid) ||
          (systemOwner != nullptr && EqualSid(sid, systemOwner)));
}

// A plain directory (no junction or symbolic link) with a trusted owner, whose
// DACL allows nobody else anything.
bool IsAdministratorsOnly(const std::wstring& folder) {
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return false;
  }
  wchar_t windows[MAX_PATH] = {};
  PSID systemOwner = nullptr;
  PACL unused = nullptr;
  const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
  const Descriptor system = Security(length > 0 && length < MAX_PATH ? windows : L"", &systemOwner, &unused);
  PSID owner = nullptr;
  PACL dacl = nullptr;
  const Descriptor descriptor = Security(folder, &owner, &dacl);
  if (!IsTrusted(owner, systemOwner) || dacl == nullptr) return false;
  for (DWORD index = 0; index < dacl->AceCount; ++index) {
    void* ace = nullptr;
    if (!GetAce(dacl, index, &ace)) return false;
    const auto* header = static_cast<ACE_HEADER*>(ace);
    if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
    if (!IsTrusted(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart, systemOwner)) return false;
  }
  return true;
}

}  // namespace

std::u16string AdministratorsDataFolder() {
  if (!ProcessIsElevated()) return {};
  PWSTR programData = nullptr;
  const HRESULT found = SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &programData);
  const std::unique_ptr<wchar_t, decltype(&CoTaskMemFree)> ownedPath(programData, &CoTaskMemFree);
  if (FAILED(found)) return {};
  const std::wstring folder = std::wstring(programData) + L"\\" +
                              reinterpret_cast<const wchar_t*>(static_cast<const char16_t*>(kDataFolderName));

  SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnly, SDDL_REVISION_1,
                                                            &attributes.lpSecurityDescriptor, nullptr)) {
    return {};
  }
  const Descriptor ownedDescriptor(attributes.lpSecurityDescriptor, &LocalFree);
  const bool created = CreateDirectoryW(folder.c_str(), &attributes) != FALSE;
  if (!created && (GetLastError() != ERROR_ALREADY_EXISTS || !IsAdministratorsOnly(folder))) return {};
  const std::wstring withSeparator = folder + L"\\";
  return std::u16string(reinterpret_cast<const char16_t*>(withSeparator.c_str()), withSeparator.size());
}

}  // namespace platform
