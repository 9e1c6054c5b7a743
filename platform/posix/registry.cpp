#include "platform/registry.h"

namespace platform {

// There is no registry here: every value is missing.
std::optional<std::string> ReadMachineRegistryValue(std::u16string_view, std::u16string_view, size_t) {
  return std::nullopt;
}

}  // namespace platform
