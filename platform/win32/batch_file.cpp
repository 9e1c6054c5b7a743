#include <windows.h>
// After windows.h:
#include <sddl.h>

#include <climits>

#include "platform/batch_file.h"

namespace platform {
namespace {

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
HANDLE H(Handle h) { return reinterpret_cast<HANDLE>(h); }

FileIdentity IdentityOf(HANDLE file, bool* ok) {
  BY_HANDLE_FILE_INFORMATION info{};
  *ok = GetFileInformationByHandle(file, &info) != 0;
  return {info.dwVolumeSerialNumber, (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

}  // namespace

std::u16string TemporaryDirectory() {
  wchar_t buffer[MAX_PATH];
  const DWORD n = GetTempPathW(MAX_PATH, buffer);
  if (n == 0 || n >= MAX_PATH) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(buffer), n);
}

uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

CreatedFile CreateNewFile(const std::u16string& path, std::string_view content, bool administratorsOnly) {
  if (content.size() > static_cast<size_t>(MAXDWORD)) return {};
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, FALSE};
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (administratorsOnly) {
    // Protected DACL: full access for Administrators and SYSTEM, nobody else,
    // nothing inherited from the (user-writable) temporary folder.
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;BA)(A;;FA;;;SY)", SDDL_REVISION_1, &sd,
                                                              nullptr)) {
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

Handle StartHiddenProcess(const std::u16string& commandLine) {
  std::wstring writable(reinterpret_cast<const wchar_t*>(commandLine.c_str()), commandLine.size());
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                      &pi)) {
    return 0;
  }
  CloseHandle(pi.hThread);
  return reinterpret_cast<Handle>(pi.hProcess);
}

std::optional<uint32_t> WaitAndClose(Handle process, uint32_t timeoutMs) {
  WaitForSingleObject(H(process), timeoutMs);
  DWORD code = 1;
  const bool read = GetExitCodeProcess(H(process), &code) != 0;
  CloseHandle(H(process));
  if (!read) return std::nullopt;
  return code;
}

}  // namespace platform
