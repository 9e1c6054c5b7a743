#include "platform/environment.h"

#include <windows.h>
// After windows.h:
#include <sddl.h>

namespace platform {
namespace {

std::u16string Units(const wchar_t* text, size_t count) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), count);
}

}  // namespace

std::u16string WindowsDirectory() {
  wchar_t buffer[MAX_PATH];
  const UINT n = GetSystemWindowsDirectoryW(buffer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  return Units(buffer, n);
}

std::u16string SystemDirectory() {
  wchar_t buffer[MAX_PATH];
  const UINT n = GetSystemDirectoryW(buffer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  return Units(buffer, n);
}

std::u16string UserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  const bool read = GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) != 0;
  CloseHandle(token);
  wchar_t* text = nullptr;
  if (!read || !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) return {};
  std::u16string sid(reinterpret_cast<const char16_t*>(text));
  LocalFree(text);
  return sid;
}

std::u16string TemporaryDirectory() {
  wchar_t buffer[MAX_PATH];
  const DWORD n = GetTempPathW(MAX_PATH, buffer);
  if (n == 0 || n >= MAX_PATH) return {};
  return Units(buffer, n);
}

}  // namespace platform
