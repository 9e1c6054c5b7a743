#include "platform/registry.h"

namespace platform {

// There is no registry here: every key is missing.
std::optional<std::string> ReadMachineRegistryValue(std::u16string_view, std::u16string_view, size_t) {
  return std::nullopt;
}

RegistryRead ReadRegistryValue(RegistryHive, std::u16string_view, std::u16string_view) {
  return {RegistryLookup::kKeyMissing, {}};
}

std::optional<bool> RegistryKeyExists(RegistryHive, std::u16string_view) { return false; }

std::optional<std::vector<std::u16string>> RegistrySubkeys(RegistryHive, std::u16string_view) { return std::nullopt; }

std::optional<std::vector<std::pair<std::u16string, RegistryValue>>> RegistryValues(RegistryHive, std::u16string_view) {
  return std::nullopt;
}

}  // namespace platform
