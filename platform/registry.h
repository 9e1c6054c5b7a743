#pragma once
// Reading and writing the registry, in the 64-bit view.

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
  bool operator==(const RegistryValue&) const = default;
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

// Writing. Each answers 0 on success and the system's error code otherwise.

// Sets the value, creating the key and any missing key above it.
uint32_t SetRegistryValue(RegistryHive hive, std::u16string_view key, std::u16string_view name,
                          const RegistryValue& value);
// Deletes the value; 0 also when it or its key is already missing.
uint32_t DeleteRegistryValue(RegistryHive hive, std::u16string_view key, std::u16string_view name);
// Creates the key and any missing key above it; 0 also when it exists.
uint32_t CreateRegistryKey(RegistryHive hive, std::u16string_view key);
// Deletes the key with every subkey and value; 0 also when it is missing.
uint32_t DeleteRegistryTree(RegistryHive hive, std::u16string_view key);
// Deletes the key only when it holds no value and no subkey (then
// ERROR_DIR_NOT_EMPTY); 0 also when it is missing.
uint32_t DeleteEmptyRegistryKey(RegistryHive hive, std::u16string_view key);
inline constexpr uint32_t kErrorDirNotEmpty = 145;

}  // namespace platform
