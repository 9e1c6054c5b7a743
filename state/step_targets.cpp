#include "state/step_targets.h"

#include <cctype>
#include <utility>

#include "platform/text.h"

std::string_view ParamValue(const StepDef& step, std::string_view name) {
  for (const StepParam& param : step.params) {
    if (name == param.name) return param.value;
  }
  return {};
}

std::string_view StoredValueName(std::string_view name) { return name == "(default)" ? std::string_view() : name; }

namespace {

constexpr std::pair<std::string_view, platform::RegistryHive> kHives[] = {
    {"HKLM", platform::RegistryHive::kLocalMachine},
    {"HKCU", platform::RegistryHive::kCurrentUser},
    {"HKCR", platform::RegistryHive::kClassesRoot},
    {"HKU", platform::RegistryHive::kUsers},
    {"HKCC", platform::RegistryHive::kCurrentConfig}};

}  // namespace

std::optional<KeyPath> SplitKey(std::string_view key) {
  const size_t slash = key.find('\\');
  if (slash == std::string_view::npos || slash + 1 == key.size()) return std::nullopt;
  for (const auto& [name, hive] : kHives) {
    if (key.substr(0, slash) == name) return KeyPath{hive, platform::Utf8ToUtf16(key.substr(slash + 1))};
  }
  return std::nullopt;
}

const char* HiveName(platform::RegistryHive hive) {
  for (const auto& [name, each] : kHives) {
    if (each == hive) return name.data();
  }
  return "HKLM";
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

bool WildcardMatch(std::string_view pattern, std::string_view text) {
  if (pattern.empty()) return text.empty();
  if (pattern.front() == '*') {
    for (size_t skip = 0; skip <= text.size(); ++skip) {
      if (WildcardMatch(pattern.substr(1), text.substr(skip))) return true;
    }
    return false;
  }
  if (text.empty()) return false;
  const bool same = pattern.front() == '?' || std::tolower(static_cast<unsigned char>(pattern.front())) ==
                                                  std::tolower(static_cast<unsigned char>(text.front()));
  return same && WildcardMatch(pattern.substr(1), text.substr(1));
}

uint64_t LittleEndian(const std::string& bytes, size_t count) {
  uint64_t value = 0;
  for (size_t i = 0; i < count && i < bytes.size(); ++i) {
    value |= static_cast<uint64_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
  }
  return value;
}

std::u16string StringData(const platform::RegistryValue& value) {
  std::u16string text(value.data.size() / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(static_cast<unsigned char>(value.data[2 * i]) |
                                    (static_cast<unsigned char>(value.data[2 * i + 1]) << 8));
  }
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

const char* TypeName(uint32_t type) {
  switch (type) {
    case platform::kRegSz: return "REG_SZ";
    case platform::kRegExpandSz: return "REG_EXPAND_SZ";
    case platform::kRegBinary: return "REG_BINARY";
    case platform::kRegDword: return "REG_DWORD";
    case platform::kRegMultiSz: return "REG_MULTI_SZ";
    case platform::kRegQword: return "REG_QWORD";
    default: return "another type";
  }
}

std::string Shown(const platform::RegistryValue& value) {
  if (value.type == platform::kRegDword && value.data.size() == 4) return std::to_string(LittleEndian(value.data, 4));
  if (value.type == platform::kRegQword && value.data.size() == 8) return std::to_string(LittleEndian(value.data, 8));
  if (value.type == platform::kRegSz || value.type == platform::kRegExpandSz) {
    std::string quoted(1, '"');
    quoted += platform::Utf16ToUtf8(StringData(value));
    quoted += '"';
    return quoted;
  }
  return std::string("a ") + TypeName(value.type) + " of " + std::to_string(value.data.size()) + " bytes";
}

std::vector<std::u16string> PerUserServiceNames(const std::vector<std::u16string>& all, std::string_view service) {
  std::vector<std::u16string> names;
  const std::string prefix = std::string(service) + "_";
  for (const std::u16string& wide : all) {
    const std::string name = platform::Utf16ToUtf8(wide);
    if (EqualsIgnoringCase(name, service) ||
        (name.size() > prefix.size() && EqualsIgnoringCase(name.substr(0, prefix.size()), prefix))) {
      names.push_back(wide);
    }
  }
  return names;
}

bool IsOneDriveEntry(const platform::RegistryValue& value) {
  const std::u16string shown = StringData(value);
  return shown == u"OneDrive" || shown == u"OneDrive - Personal";
}
