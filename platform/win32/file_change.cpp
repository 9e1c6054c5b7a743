#include "platform/file_change.h"

#include <windows.h>

#include <sddl.h>

#include <atomic>
#include <string>

namespace platform {

namespace {

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

// Writes all of `bytes` and flushes them to the disk.
uint32_t WriteFlushed(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr)) return GetLastError();
    if (written == 0) return ERROR_WRITE_FAULT;
    bytes.remove_prefix(written);
  }
  return FlushFileBuffers(file) ? 0 : GetLastError();
}

std::atomic<uint32_t> g_replaceCounter{0};

// Owned by the Administrators group; Administrators and SYSTEM alone.
constexpr wchar_t kAdministratorsOnly[] = L"O:BAD:P(A;;FA;;;BA)(A;;FA;;;SY)";

// Creates or opens a file, with the administrators-only DACL when it is new
// and asked for.
HANDLE Open(const std::wstring& path, DWORD access, DWORD share, DWORD disposition, bool administratorsOnly) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (administratorsOnly && !ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnly, SDDL_REVISION_1,
                                                                                  &descriptor, nullptr)) {
    return INVALID_HANDLE_VALUE;
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  const HANDLE file = CreateFileW(path.c_str(), access, share, administratorsOnly ? &attributes : nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD error = GetLastError();
  LocalFree(descriptor);
  SetLastError(error);
  return file;
}

}  // namespace

uint32_t AppendToFile(const std::u16string& path, std::string_view bytes, bool administratorsOnly) {
  // Shared for reading only: no other writer can come between the end found
  // and the bytes written.
  const HANDLE file = Open(Wide(path), GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, administratorsOnly);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  LARGE_INTEGER end{};
  uint32_t status =
      SetFilePointerEx(file, LARGE_INTEGER{}, &end, FILE_END) ? WriteFlushed(file, bytes) : GetLastError();
  if (status != 0 && SetFilePointerEx(file, end, nullptr, FILE_BEGIN)) {
    // All or nothing: a line cut short by a full disk is cut off again.
    SetEndOfFile(file);
    FlushFileBuffers(file);
  }
  CloseHandle(file);
  return status;
}

uint32_t ReplaceFileContent(const std::u16string& path, std::string_view content, bool administratorsOnly) {
  std::wstring temporary;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 8 && file == INVALID_HANDLE_VALUE; ++attempt) {
    temporary = Wide(path) + L".new-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(g_replaceCounter.fetch_add(1) + 1);
    file = Open(temporary, GENERIC_WRITE | DELETE, 0, CREATE_NEW, administratorsOnly);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return GetLastError();
  }
  if (file == INVALID_HANDLE_VALUE) return ERROR_FILE_EXISTS;
  uint32_t status = WriteFlushed(file, content);
  CloseHandle(file);
  if (status == 0) {
    const std::wstring target = Wide(path);
    const bool exists = GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES;
    // ReplaceFileW carries the old file's security and attributes over.
    const BOOL swapped = exists ? ReplaceFileW(target.c_str(), temporary.c_str(), nullptr,
                                               REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
                                : MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
    if (!swapped) status = GetLastError();
  }
  if (status != 0) DeleteFileW(temporary.c_str());
  return status;
}

uint32_t RemoveFile(const std::u16string& path) {
  if (DeleteFileW(Wide(path).c_str())) return 0;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : error;
}

uint32_t RenameFile(const std::u16string& from, const std::u16string& to) {
  return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_WRITE_THROUGH) ? 0 : GetLastError();
}

uint32_t CreateFolder(const std::u16string& path) {
  const std::wstring wide = Wide(path);
  if (CreateDirectoryW(wide.c_str(), nullptr)) return 0;
  const DWORD error = GetLastError();
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return 0;
  }
  return error;
}

}  // namespace platform
