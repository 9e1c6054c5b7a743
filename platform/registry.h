#pragma once
// Reading the local machine's registry (HKEY_LOCAL_MACHINE, 64-bit view).

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The raw data of a value under HKEY_LOCAL_MACHINE\<keyPath>, read with a
// buffer of `byteLimit` bytes whatever the value's type. Nothing when the key
// cannot be opened for reading, the value is missing, its data is longer than
// `byteLimit`, or the read fails otherwise.
std::optional<std::string> ReadMachineRegistryValue(std::u16string_view keyPath, std::u16string_view valueName,
                                                    size_t byteLimit);

}  // namespace platform
