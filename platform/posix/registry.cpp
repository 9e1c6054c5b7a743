// There is no registry here. Stand-in facts answer for the folders read from
// the profile list: ProgramData is $TMPDIR (default /tmp) and every user's
// profile is $HOME; every other value is missing.
#include <cstdlib>
#include <string>

#include "platform/registry.h"
#include "platform/text.h"

namespace platform {
namespace {

constexpr std::u16string_view kProfileList = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

std::optional<std::string> RegistryString(const char* variable, const char* fallback) {
  const char* set = std::getenv(variable);
  std::string value = set && *set ? set : fallback;
  while (value.size() > 1 && value.back() == '/') value.pop_back();
  std::string bytes;
  for (const char16_t unit : Utf8ToUtf16(value) + u'\0') {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

}  // namespace

std::optional<std::string> ReadMachineRegistryValue(std::u16string_view keyPath, std::u16string_view valueName,
                                                    size_t byteLimit) {
  std::optional<std::string> value;
  if (keyPath == kProfileList && valueName == u"ProgramData") {
    value = RegistryString("TMPDIR", "/tmp");
  } else if (keyPath.substr(0, kProfileList.size() + 1) == std::u16string(kProfileList) + u"\\" &&
             valueName == u"ProfileImagePath") {
    value = RegistryString("HOME", "/");
  }
  if (value && value->size() > byteLimit) return std::nullopt;
  return value;
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
