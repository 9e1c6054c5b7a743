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

namespace {

HKEY HiveKey(RegistryHive hive) {
  switch (hive) {
    case RegistryHive::kLocalMachine: return HKEY_LOCAL_MACHINE;
    case RegistryHive::kCurrentUser: return HKEY_CURRENT_USER;
    case RegistryHive::kClassesRoot: return HKEY_CLASSES_ROOT;
    case RegistryHive::kUsers: return HKEY_USERS;
    default: return HKEY_CURRENT_CONFIG;
  }
}

// Opens for reading; the status a failed open means for a lookup.
LSTATUS OpenForReading(RegistryHive hive, std::u16string_view key, HKEY* opened) {
  return RegOpenKeyExW(HiveKey(hive), NulTerminated(key).c_str(), 0, KEY_READ | KEY_WOW64_64KEY, opened);
}

// The value's type and bytes through an open key, growing the buffer while
// the value grows under us.
LSTATUS QueryValue(HKEY key, const wchar_t* name, RegistryValue* value) {
  DWORD size = 256;
  for (int attempt = 0; attempt < 8; ++attempt) {
    value->data.resize(size);
    DWORD type = 0;
    const LSTATUS status =
        RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value->data.data()), &size);
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS) return status;
    value->type = type;
    value->data.resize(size);
    return ERROR_SUCCESS;
  }
  return ERROR_MORE_DATA;
}

}  // namespace

RegistryRead ReadRegistryValue(RegistryHive hive, std::u16string_view key, std::u16string_view name) {
  RegistryRead read;
  HKEY opened = nullptr;
  const LSTATUS open = OpenForReading(hive, key, &opened);
  if (open == ERROR_FILE_NOT_FOUND) read.status = RegistryLookup::kKeyMissing;
  if (open != ERROR_SUCCESS) return read;
  const LSTATUS status = QueryValue(opened, NulTerminated(name).c_str(), &read.value);
  RegCloseKey(opened);
  if (status == ERROR_SUCCESS) {
    read.status = RegistryLookup::kFound;
  } else if (status == ERROR_FILE_NOT_FOUND) {
    read.status = RegistryLookup::kValueMissing;
    read.value = {};
  }
  return read;
}

std::optional<bool> RegistryKeyExists(RegistryHive hive, std::u16string_view key) {
  HKEY opened = nullptr;
  const LSTATUS status = OpenForReading(hive, key, &opened);
  if (status == ERROR_SUCCESS) {
    RegCloseKey(opened);
    return true;
  }
  if (status == ERROR_FILE_NOT_FOUND) return false;
  // A key we may not open exists all the same.
  if (status == ERROR_ACCESS_DENIED) return true;
  return std::nullopt;
}

std::optional<std::vector<std::u16string>> RegistrySubkeys(RegistryHive hive, std::u16string_view key) {
  HKEY opened = nullptr;
  if (OpenForReading(hive, key, &opened) != ERROR_SUCCESS) return std::nullopt;
  std::vector<std::u16string> names;
  wchar_t name[256];  // the longest key name is 255 characters
  for (DWORD index = 0;; ++index) {
    DWORD length = 256;
    const LSTATUS status = RegEnumKeyExW(opened, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) {
      RegCloseKey(opened);
      return std::nullopt;
    }
    names.emplace_back(name, name + length);
  }
  RegCloseKey(opened);
  return names;
}

std::optional<std::vector<std::pair<std::u16string, RegistryValue>>> RegistryValues(RegistryHive hive,
                                                                                    std::u16string_view key) {
  HKEY opened = nullptr;
  if (OpenForReading(hive, key, &opened) != ERROR_SUCCESS) return std::nullopt;
  std::vector<std::pair<std::u16string, RegistryValue>> values;
  std::wstring name(16384, L'\0');  // the longest value name is 16383 characters
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(name.size());
    const LSTATUS status = RegEnumValueW(opened, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    RegistryValue value;
    if (status != ERROR_SUCCESS ||
        QueryValue(opened, std::wstring(name.data(), length).c_str(), &value) != ERROR_SUCCESS) {
      RegCloseKey(opened);
      return std::nullopt;
    }
    values.emplace_back(std::u16string(name.begin(), name.begin() + length), std::move(value));
  }
  RegCloseKey(opened);
  return values;
}

}  // namespace platform
