#pragma once
// Reading the registry, in the 64-bit view. Nothing here writes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// The raw data of a value under HKEY_LOCAL_MACHINE\<keyPath>, read with a
// buffer of `byteLimit` bytes whatever the value's type. Nothing when the key
// cannot be opened for reading, the value is missing, its data is longer than
// `byteLimit`, or the read fails otherwise.
std::optional<std::string> ReadMachineRegistryValue(std::u16string_view keyPath, std::u16string_view valueName,
                                                    size_t byteLimit);

enum class RegistryHive { kLocalMachine, kCurrentUser, kClassesRoot, kUsers, kCurrentConfig };

// Value types as the registry numbers them.
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegMultiSz = 7;
inline constexpr uint32_t kRegQword = 11;

struct RegistryValue {
  uint32_t type = 0;
  std::string data;  // the raw bytes as stored
};

enum class RegistryLookup { kFound, kKeyMissing, kValueMissing, kUnreadable };

struct RegistryRead {
  RegistryLookup status = RegistryLookup::kUnreadable;
  RegistryValue value;
};

// One value of `hive\key` ("(default)" is not special: name "" is the unnamed
// value). kUnreadable when the key exists but cannot be read (access denied).
RegistryRead ReadRegistryValue(RegistryHive hive, std::u16string_view key, std::u16string_view name);

// Whether `hive\key` exists; nothing when that cannot be told.
std::optional<bool> RegistryKeyExists(RegistryHive hive, std::u16string_view key);

// The names of the key's direct subkeys, or of its values with their data;
// nothing when the key is missing or cannot be read.
std::optional<std::vector<std::u16string>> RegistrySubkeys(RegistryHive hive, std::u16string_view key);
std::optional<std::vector<std::pair<std::u16string, RegistryValue>>> RegistryValues(RegistryHive hive,
                                                                                    std::u16string_view key);

}  // namespace platform
