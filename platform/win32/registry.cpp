#include "platform/registry.h"

#include <windows.h>

#include <algorithm>

namespace platform {

namespace {

std::wstring NulTerminated(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

}  // namespace

std::optional<std::string> ReadMachineRegistryValue(std::u16string_view keyPath, std::u16string_view valueName,
                                                    size_t byteLimit) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, NulTerminated(keyPath).c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::string data(std::min<size_t>(byteLimit, MAXDWORD), '\0');
  DWORD type = 0;  // any type is taken as it comes
  DWORD size = static_cast<DWORD>(data.size());
  const LSTATUS status = RegQueryValueExW(key, NulTerminated(valueName).c_str(), nullptr, &type,
                                          reinterpret_cast<BYTE*>(data.data()), &size);
  RegCloseKey(key);
  // ERROR_MORE_DATA: the value does not fit the buffer.
  if (status != ERROR_SUCCESS || size > data.size()) return std::nullopt;
  data.resize(size);
  return data;
}

}  // namespace platform
