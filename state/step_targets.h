#pragma once
// What a step's parameters name on the machine, and how registry data reads
// as text: shared by the state check, which compares it, and the journal,
// which records and restores it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/step_def.h"
#include "platform/registry.h"

// A parameter of the step as the source gives it; empty when it has none.
std::string_view ParamValue(const StepDef& step, std::string_view name);
// The name the registry stores for a step's `value`: the source writes the
// key's default value as "(default)", which the registry names "".
std::string_view StoredValueName(std::string_view name);

// "HKLM\path" split into hive and path; nothing when the hive is no known
// short name ("HKLM", "HKCU", "HKCR", "HKU", "HKCC") or there is no path.
struct KeyPath {
  platform::RegistryHive hive = platform::RegistryHive::kLocalMachine;
  std::u16string path;
};
std::optional<KeyPath> SplitKey(std::string_view key);
// The short name of the hive, as SplitKey reads it.
const char* HiveName(platform::RegistryHive hive);

bool EqualsIgnoringCase(std::string_view a, std::string_view b);
// '*' and '?' as Windows matches names, ignoring ASCII case.
bool WildcardMatch(std::string_view pattern, std::string_view text);

uint64_t LittleEndian(const std::string& bytes, size_t count);
// A string value's text without the terminating NULs the registry keeps.
std::u16string StringData(const platform::RegistryValue& value);
// "REG_SZ", "REG_DWORD", ... or "another type".
const char* TypeName(uint32_t type);
// The value as a person reads it: a number in decimal, a text in quotes.
std::string Shown(const platform::RegistryValue& value);

// Where the fixed-target families write.
inline constexpr char kImageOptionsKey[] =
    "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\";
inline constexpr char kExplorerPoliciesKey[] = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
inline constexpr char kDisallowRunKey[] =
    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\DisallowRun";
inline constexpr char kDeprovisionedKey[] =
    "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Appx\\AppxAllUserStore\\Deprovisioned\\";
inline constexpr char16_t kServicesKey[] = u"SYSTEM\\CurrentControlSet\\Services";
inline constexpr char16_t kNetbiosInterfacesKey[] =
    u"SYSTEM\\CurrentControlSet\\services\\NetBT\\Parameters\\Interfaces";
inline constexpr char16_t kNavigationNamespaceKey[] =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Desktop\\NameSpace";
// Under the roaming application data folder.
inline constexpr char16_t kEditorSettingsFile[] = u"\\Code\\User\\settings.json";

// The services a per-user service step sets: the template `service` and its
// instances "service_*", from the names given, ignoring case.
std::vector<std::u16string> PerUserServiceNames(const std::vector<std::u16string>& all, std::string_view service);

// Whether a navigation-pane entry's default value names OneDrive.
bool IsOneDriveEntry(const platform::RegistryValue& value);
