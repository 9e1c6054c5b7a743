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

namespace platform {

// Nothing can be written where there is no registry: every write fails as
// Windows fails a write to a hive it does not have.
namespace {
constexpr uint32_t kErrorInvalidFunction = 1;
}  // namespace

uint32_t SetRegistryValue(RegistryHive, std::u16string_view, std::u16string_view, const RegistryValue&) {
  return kErrorInvalidFunction;
}
uint32_t DeleteRegistryValue(RegistryHive, std::u16string_view, std::u16string_view) { return 0; }
uint32_t CreateRegistryKey(RegistryHive, std::u16string_view) { return kErrorInvalidFunction; }
uint32_t DeleteRegistryTree(RegistryHive, std::u16string_view) { return 0; }
uint32_t DeleteEmptyRegistryKey(RegistryHive, std::u16string_view) { return 0; }

}  // namespace platform
