#include "state/state_check.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <map>
#include <memory>

#include "catalogue/windows_versions.h"
#include "platform/text.h"
#include "protocol/json_value.h"
#include "state/step_targets.h"

namespace {

using platform::RegistryHive;
using platform::RegistryLookup;
using platform::RegistryValue;

std::u16string Wide(std::string_view text) { return platform::Utf8ToUtf16(text); }
std::string Narrow(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

StepCheck Result(StepState state, std::string reason) { return {state, std::move(reason)}; }

// REG_DWORD and REG_QWORD data as the source writes it: decimal or 0x hex.
std::optional<uint64_t> WholeNumber(std::string_view text) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  if (hex) text.remove_prefix(2);
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, hex ? 16 : 10);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::u16string StoredName(std::string_view name) { return Wide(StoredValueName(name)); }

// Whether the value holds what "reg add /t TYPE /d DATA" writes.
bool Holds(const RegistryValue& value, std::string_view type, const std::u16string& expectedText,
           std::optional<uint64_t> expectedNumber) {
  if (type == "REG_DWORD") {
    return value.type == platform::kRegDword && value.data.size() == 4 && expectedNumber &&
           LittleEndian(value.data, 4) == *expectedNumber;
  }
  if (type == "REG_QWORD") {
    return value.type == platform::kRegQword && value.data.size() == 8 && expectedNumber &&
           LittleEndian(value.data, 8) == *expectedNumber;
  }
  return value.type == platform::kRegSz && StringData(value) == expectedText;
}

StepCheck CheckValueSet(const Machine& machine, std::string_view key, std::string_view name, std::string_view type,
                        std::string_view data) {
  const std::optional<KeyPath> path = SplitKey(key);
  if (!path) return Result(StepState::kUnknown, "key " + std::string(key) + " names no known hive");
  const std::u16string expectedText =
      data.find('%') == std::string_view::npos ? Wide(data) : machine.expand(Wide(data));
  const std::optional<uint64_t> expectedNumber = WholeNumber(data);
  const std::string wanted = type == "REG_SZ" ? "\"" + Narrow(expectedText) + "\""
                             : expectedNumber ? std::to_string(*expectedNumber)
                                              : std::string(data);
  const platform::RegistryRead read = machine.readValue(path->hive, path->path, StoredName(name));
  const std::string label = "value " + std::string(name);
  switch (read.status) {
    case RegistryLookup::kKeyMissing:
      return Result(StepState::kNotApplied,
                    "key " + std::string(key) + " is missing, the tweak sets " + label + " to " + wanted);
    case RegistryLookup::kValueMissing:
      return Result(StepState::kNotApplied, label + " is missing, the tweak sets " + wanted);
    case RegistryLookup::kUnreadable: return Result(StepState::kUnknown, label + " cannot be read");
    case RegistryLookup::kFound: break;
  }
  if (Holds(read.value, type, expectedText, expectedNumber))
    return Result(StepState::kApplied, label + " is " + wanted);
  if (read.value.type != (type == "REG_SZ"      ? platform::kRegSz
                          : type == "REG_QWORD" ? platform::kRegQword
                                                : platform::kRegDword)) {
    return Result(StepState::kNotApplied, label + " is " + Shown(read.value) + " (" + TypeName(read.value.type) +
                                              "), the tweak writes the " + std::string(type) + " " + wanted);
  }
  return Result(StepState::kNotApplied, label + " is " + Shown(read.value) + ", the tweak sets " + wanted);
}

StepCheck CheckValueDeleted(const Machine& machine, const StepDef& step) {
  const std::string_view key = ParamValue(step, "key");
  const std::string_view name = ParamValue(step, "value");
  const std::optional<KeyPath> path = SplitKey(key);
  if (!path) return Result(StepState::kUnknown, "key " + std::string(key) + " names no known hive");
  const platform::RegistryRead read = machine.readValue(path->hive, path->path, StoredName(name));
  const std::string label = "value " + std::string(name);
  if (read.status == RegistryLookup::kKeyMissing || read.status == RegistryLookup::kValueMissing) {
    return Result(StepState::kApplied, label + " is absent");
  }
  if (read.status == RegistryLookup::kUnreadable) return Result(StepState::kUnknown, label + " cannot be read");
  const std::string_view expected = ParamValue(step, "expected-data");
  if (!expected.empty()) {
    std::string current = Shown(read.value);
    if (current.size() >= 2 && current.front() == '"') current = current.substr(1, current.size() - 2);
    // The step compares as PowerShell's -ne does: text, ignoring case.
    if (!EqualsIgnoringCase(current, expected)) {
      return Result(StepState::kNotApplicable, label + " holds " + Shown(read.value) + ", not \"" +
                                                   std::string(expected) + "\": the tweak leaves it");
    }
  }
  return Result(StepState::kNotApplied, label + " is " + Shown(read.value) + ", the tweak deletes it");
}

StepCheck CheckKey(const Machine& machine, std::string_view key, bool wanted) {
  const std::optional<KeyPath> path = SplitKey(key);
  if (!path) return Result(StepState::kUnknown, "key " + std::string(key) + " names no known hive");
  const std::optional<bool> exists = machine.keyExists(path->hive, path->path);
  if (!exists) return Result(StepState::kUnknown, "key " + std::string(key) + " cannot be read");
  const std::string label = "key " + std::string(key);
  if (*exists == wanted) return Result(StepState::kApplied, label + (wanted ? " exists" : " is absent"));
  return Result(StepState::kNotApplied,
                label + (wanted ? " is missing, the tweak creates it" : " exists, the tweak removes it"));
}

std::string StartName(uint32_t start) {
  static constexpr const char* kNames[] = {"Boot", "System", "Automatic", "Manual", "Disabled"};
  return (start < 5 ? std::string(kNames[start]) : std::string("type")) + " (" + std::to_string(start) + ")";
}

using StartReader = std::function<platform::ServiceStart(const std::string& name)>;

// Every named service Disabled; the ones not installed are passed by, as the
// step passes them.
StepCheck CheckServices(const std::vector<std::string>& names, std::string_view described, const StartReader& read) {
  std::string enabled;
  size_t installed = 0;
  for (const std::string& name : names) {
    const platform::ServiceStart start = read(name);
    if (start.status == platform::ServiceStart::Status::kUnreadable) {
      return Result(StepState::kUnknown, "service " + name + " cannot be read");
    }
    if (start.status == platform::ServiceStart::Status::kNotInstalled) continue;
    ++installed;
    if (start.startType != platform::kServiceDisabled) {
      if (!enabled.empty()) enabled += ", ";
      enabled += name + " starts " + StartName(start.startType);
    }
  }
  if (installed == 0)
    return Result(StepState::kNotApplicable, "service " + std::string(described) + " is not installed");
  if (enabled.empty()) return Result(StepState::kApplied, "service " + std::string(described) + " is Disabled");
  return Result(StepState::kNotApplied, "service " + enabled + ", the tweak sets Disabled (4)");
}

// The step finds the template and its instances through the service manager
// and writes their Start values in the registry (the service manager refuses
// to change a per-user service); the service manager goes on reporting the
// start type it loaded until Windows starts again, so the state is the
// registry's.
StepCheck CheckPerUserService(const Machine& machine, std::string_view service) {
  const std::optional<std::vector<std::u16string>> all = machine.serviceNames();
  if (!all) return Result(StepState::kUnknown, "the installed services cannot be listed");
  std::vector<std::string> names;
  for (const std::u16string& name : PerUserServiceNames(*all, service)) names.push_back(Narrow(name));
  return CheckServices(
      names, std::string(service) + " (and " + std::string(service) + "_*)", [&machine](const std::string& name) {
        const platform::RegistryRead read =
            machine.readValue(RegistryHive::kLocalMachine, std::u16string(kServicesKey) + u"\\" + Wide(name), u"Start");
        platform::ServiceStart start;
        switch (read.status) {
          case RegistryLookup::kKeyMissing: start.status = platform::ServiceStart::Status::kNotInstalled; break;
          case RegistryLookup::kUnreadable:
          case RegistryLookup::kValueMissing: break;
          case RegistryLookup::kFound:
            if (read.value.type != platform::kRegDword || read.value.data.size() != 4) break;
            start.status = platform::ServiceStart::Status::kFound;
            start.startType = static_cast<uint32_t>(LittleEndian(read.value.data, 4));
            break;
        }
        return start;
      });
}

StepCheck CheckTasks(const Machine& machine, const StepDef& step) {
  const std::string folder(ParamValue(step, "folder"));
  const std::string_view pattern = ParamValue(step, "task");
  const std::string label = "task " + folder + std::string(pattern);
  const platform::TaskFolder tasks = machine.tasksIn(Wide(folder));
  if (tasks.status == platform::TaskFolder::Status::kUnreadable) {
    return Result(StepState::kUnknown, "task folder " + folder + " cannot be read");
  }
  std::string enabled;
  size_t matched = 0;
  for (const platform::ScheduledTask& task : tasks.tasks) {
    const std::string name = Narrow(task.name);
    if (!WildcardMatch(pattern, name)) continue;
    ++matched;
    if (task.enabled) enabled += (enabled.empty() ? "" : ", ") + name;
  }
  if (matched == 0) return Result(StepState::kNotApplicable, label + " does not exist");
  if (enabled.empty()) return Result(StepState::kApplied, label + " is disabled");
  return Result(StepState::kNotApplied, "task " + folder + enabled + " is enabled, the tweak disables it");
}

StepCheck CheckStoreApp(const Machine& machine, const StepDef& step, std::span<const StepDef> siblings) {
  const std::string package(ParamValue(step, "package"));
  // The family comes from the row's deprovisioning step for the same package.
  for (const StepDef& sibling : siblings) {
    const std::string_view family = ParamValue(sibling, "package-family");
    if (std::string_view(sibling.family) != "deprovision-store-app" || !family.starts_with(package + "_")) continue;
    const std::optional<bool> installed = machine.packageInstalled(Wide(family));
    if (!installed) return Result(StepState::kUnknown, "whether app " + package + " is installed cannot be told");
    if (*installed) return Result(StepState::kNotApplied, "app " + package + " is installed, the tweak removes it");
    return Result(StepState::kApplied, "app " + package + " is not installed for this user");
  }
  return Result(StepState::kUnknown, "app " + package + " has no package family to look up");
}

StepCheck CheckHosts(const Machine& machine, const StepDef& step) {
  const std::string domain(ParamValue(step, "domain"));
  const std::string_view comment = ParamValue(step, "comment").empty() ? "." : ParamValue(step, "comment");
  const std::optional<std::string> hosts = machine.readFile(machine.hostsPath);
  if (!hosts) return Result(StepState::kUnknown, "the hosts file cannot be read");
  bool v4 = false;
  bool v6 = false;
  const std::string suffix = "\t" + domain + " # " + std::string(comment);
  size_t start = 0;
  while (start <= hosts->size()) {
    size_t end = hosts->find('\n', start);
    if (end == std::string::npos) end = hosts->size();
    std::string_view line(hosts->data() + start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    v4 = v4 || line == "0.0.0.0" + suffix;
    v6 = v6 || line == "::1" + suffix;
    start = end + 1;
  }
  if (v4 && v6) return Result(StepState::kApplied, "the hosts file blocks " + domain);
  if (!v4 && !v6) return Result(StepState::kNotApplied, "the hosts file does not block " + domain);
  return Result(StepState::kNotApplied,
                "the hosts file lacks the " + std::string(v4 ? "::1" : "0.0.0.0") + " entry for " + domain);
}

bool SameJson(const JsonValue& a, const JsonValue& b) {
  if (a.kind != b.kind) return false;
  if (a.kind == JsonValue::Kind::kNumber)
    return std::strtod(a.text.c_str(), nullptr) == std::strtod(b.text.c_str(), nullptr);
  if (a.kind == JsonValue::Kind::kBool) return a.boolean == b.boolean;
  return a.text == b.text && a.kind != JsonValue::Kind::kArray && a.kind != JsonValue::Kind::kObject;
}

StepCheck CheckEditorSetting(const Machine& machine, const StepDef& step) {
  const std::string key(ParamValue(step, "key"));
  const std::string_view wanted = ParamValue(step, "value");
  if (machine.appData.empty()) return Result(StepState::kUnknown, "the application data folder is unknown");
  const std::optional<std::string> text = machine.readFile(machine.appData + kEditorSettingsFile);
  if (!text) return Result(StepState::kNotApplicable, "Visual Studio Code has no user settings file");
  const std::optional<JsonValue> settings = ParseJsonWithComments(*text);
  const std::optional<JsonValue> expected = ParseJson(wanted);
  if (!settings || settings->kind != JsonValue::Kind::kObject || !expected) {
    return Result(StepState::kUnknown, "the user settings file of Visual Studio Code cannot be read as JSON");
  }
  const JsonValue* current = JsonMember(*settings, key);
  if (current == nullptr) {
    return Result(StepState::kNotApplied, "\"" + key + "\" is not set, the tweak sets " + std::string(wanted));
  }
  if (SameJson(*current, *expected)) return Result(StepState::kApplied, "\"" + key + "\" is " + std::string(wanted));
  return Result(StepState::kNotApplied, "\"" + key + "\" has another value, the tweak sets " + std::string(wanted));
}

StepCheck CheckDisallowRun(const Machine& machine, std::string_view executable) {
  const std::optional<KeyPath> list = SplitKey(kDisallowRunKey);
  const auto values = machine.values(list->hive, list->path);
  const std::string label = std::string(executable);
  if (values) {
    for (const auto& [name, value] : *values) {
      if ((value.type == platform::kRegSz || value.type == platform::kRegExpandSz) &&
          EqualsIgnoringCase(Narrow(StringData(value)), executable)) {
        return Result(StepState::kApplied, label + " is on the list of programs not allowed to run");
      }
    }
  }
  return Result(StepState::kNotApplied, label + " is not on the list of programs not allowed to run");
}

StepCheck CheckNetbios(const Machine& machine) {
  const std::u16string interfaces = kNetbiosInterfacesKey;
  const auto names = machine.subkeys(RegistryHive::kLocalMachine, interfaces);
  if (!names || names->empty()) return Result(StepState::kNotApplicable, "there is no NetBIOS interface");
  size_t on = 0;
  for (const std::u16string& name : *names) {
    const platform::RegistryRead read =
        machine.readValue(RegistryHive::kLocalMachine, interfaces + u"\\" + name, u"NetbiosOptions");
    if (read.status == RegistryLookup::kUnreadable) return Result(StepState::kUnknown, "an interface cannot be read");
    const bool off = read.status == RegistryLookup::kFound && read.value.type == platform::kRegDword &&
                     LittleEndian(read.value.data, 4) == 2;
    if (!off) ++on;
  }
  if (on == 0) return Result(StepState::kApplied, "NetBIOS is off on every interface");
  return Result(StepState::kNotApplied,
                "NetBIOS is not off on " + std::to_string(on) + " of " + std::to_string(names->size()) + " interfaces");
}

StepCheck CheckCloudNavigationEntry(const Machine& machine) {
  const std::u16string space = kNavigationNamespaceKey;
  const auto names = machine.subkeys(RegistryHive::kCurrentUser, space);
  if (names) {
    for (const std::u16string& name : *names) {
      const platform::RegistryRead read = machine.readValue(RegistryHive::kCurrentUser, space + u"\\" + name, u"");
      if (read.status == RegistryLookup::kFound && IsOneDriveEntry(read.value)) {
        return Result(StepState::kNotApplied, "File Explorer shows the OneDrive entry, the tweak removes it");
      }
    }
  }
  return Result(StepState::kApplied, "File Explorer shows no OneDrive entry");
}

std::optional<platform::WindowsVersion> ParseBuild(std::string_view text) {
  platform::WindowsVersion version;
  uint32_t* parts[] = {&version.major, &version.minor, &version.build};
  for (uint32_t* part : parts) {
    const size_t dot = text.find('.');
    const std::string_view piece = text.substr(0, dot);
    if (std::from_chars(piece.data(), piece.data() + piece.size(), *part).ec != std::errc()) return std::nullopt;
    text = dot == std::string_view::npos ? std::string_view{} : text.substr(dot + 1);
  }
  return version;
}

bool Before(const platform::WindowsVersion& a, const platform::WindowsVersion& b) {
  if (a.major != b.major) return a.major < b.major;
  if (a.minor != b.minor) return a.minor < b.minor;
  return a.build < b.build;
}

// The guard as the step's own prefix applies it: out of range, the step skips.
std::optional<std::string> OutsideGuard(const StepDef& step, const platform::WindowsVersion& running) {
  const auto limit = [](std::span<const VersionEntry> table, std::string_view name) {
    for (const VersionEntry& entry : table) {
      if (entry.name == name) return ParseBuild(entry.build);
    }
    return std::optional<platform::WindowsVersion>();
  };
  const std::string_view min = ParamValue(step, "min-version");
  const std::string_view max = ParamValue(step, "max-version");
  if (!min.empty()) {
    const auto bound = limit(kMinimumVersions, min);
    if (!bound || Before(running, *bound)) return "not for this Windows: needs " + std::string(min) + " or later";
  }
  if (!max.empty()) {
    const auto bound = limit(kMaximumVersions, max);
    if (!bound || Before(*bound, running)) return "not for this Windows: only up to " + std::string(max);
  }
  return std::nullopt;
}

}  // namespace

StepCheck CheckStep(const StepDef& step, std::span<const StepDef> siblings, const Machine& machine) {
  const std::string_view family = step.family;
  if (const std::optional<std::string> outside = OutsideGuard(step, machine.version)) {
    return Result(StepState::kNotApplicable, *outside);
  }
  if (family == "set-registry-value") {
    return CheckValueSet(machine, ParamValue(step, "key"), ParamValue(step, "value"), ParamValue(step, "type"),
                         ParamValue(step, "data"));
  }
  if (family == "terminate-on-startup") {
    return CheckValueSet(machine, kImageOptionsKey + std::string(ParamValue(step, "executable")), "Debugger", "REG_SZ",
                         "%SYSTEMROOT%\\System32\\taskkill.exe");
  }
  if (family == "activate-disallow-run") {
    return CheckValueSet(machine, kExplorerPoliciesKey, "DisallowRun", "REG_DWORD", "1");
  }
  if (family == "delete-registry-value") return CheckValueDeleted(machine, step);
  if (family == "remove-registry-key") return CheckKey(machine, ParamValue(step, "key"), false);
  if (family == "create-registry-key") return CheckKey(machine, ParamValue(step, "key"), true);
  if (family == "deprovision-store-app") {
    return CheckKey(machine, kDeprovisionedKey + std::string(ParamValue(step, "package-family")), true);
  }
  if (family == "disable-service")
    return CheckServices({std::string(ParamValue(step, "service"))}, ParamValue(step, "service"),
                         [&machine](const std::string& name) { return machine.serviceStart(Wide(name)); });
  if (family == "disable-per-user-service") return CheckPerUserService(machine, ParamValue(step, "service"));
  if (family == "disable-scheduled-task") return CheckTasks(machine, step);
  if (family == "uninstall-store-app") return CheckStoreApp(machine, step, siblings);
  if (family == "add-hosts-entries") return CheckHosts(machine, step);
  if (family == "editor-setting") return CheckEditorSetting(machine, step);
  if (family == "block-executable") return CheckDisallowRun(machine, ParamValue(step, "executable"));
  if (family == "disable-netbios") return CheckNetbios(machine);
  if (family == "remove-onedrive-navigation-entry") return CheckCloudNavigationEntry(machine);
  if (family == "create-placeholder-file") {
    const std::string path(ParamValue(step, "path"));
    if (machine.readFile(machine.expand(Wide(path)))) return Result(StepState::kApplied, path + " exists");
    return Result(StepState::kNotApplied, path + " does not exist, the tweak creates it");
  }
  if (family == "remove-windows-capability" || family == "disable-optional-feature") {
    return Result(StepState::kUnknown, "Windows features and capabilities are not read here");
  }
  if (family == "plain") return Result(StepState::kUnknown, "the row's own commands: their effect is not read");
  if (step.undo == StepUndo::kNoChange) return Result(StepState::kAlwaysRuns, "changes nothing lasting");
  return Result(StepState::kAlwaysRuns, "deletes or cleans: runs every time");
}

TweakCheck CheckTweak(const Tweak& tweak, const Machine& machine) {
  TweakCheck check;
  int32_t unknown = 0;
  for (const StepDef& step : tweak.steps) {
    StepCheck result = CheckStep(step, tweak.steps, machine);
    switch (result.state) {
      case StepState::kApplied: ++check.done; break;
      case StepState::kNotApplied: break;
      case StepState::kUnknown: ++unknown; break;
      case StepState::kAlwaysRuns: check.alwaysRuns = check.alwaysRuns || step.undo != StepUndo::kNoChange; break;
      case StepState::kNotApplicable: break;
    }
    if (result.state == StepState::kApplied || result.state == StepState::kNotApplied) ++check.total;
    check.steps.push_back(std::move(result));
  }
  if (check.total == 0) {
    check.state = unknown > 0 ? TweakState::kUnknown : TweakState::kNotApplicable;
    return check;
  }
  check.total += unknown;
  if (check.done == check.total) {
    check.state = TweakState::kApplied;
  } else {
    check.state = check.done == 0 ? TweakState::kNotApplied : TweakState::kPartly;
  }
  return check;
}

const char* TweakStateWord(TweakState state) {
  switch (state) {
    case TweakState::kApplied: return "applied";
    case TweakState::kPartly: return "partly";
    case TweakState::kNotApplied: return "not-applied";
    case TweakState::kNotApplicable: return "n/a";
    default: return "unknown";
  }
}

const char* StepStateWord(StepState state) {
  switch (state) {
    case StepState::kApplied: return "applied";
    case StepState::kNotApplied: return "not-applied";
    case StepState::kNotApplicable:
    case StepState::kAlwaysRuns: return "n/a";
    default: return "unknown";
  }
}

bool SkipsAsApplied(const TweakCheck& check) { return check.state == TweakState::kApplied && !check.alwaysRuns; }

Machine SystemMachine() {
  // What one check of the catalogue reads more than once is read once; the
  // Task Scheduler is connected at the first task looked up and released with
  // the last copy of this machine, on the thread that checks.
  struct Cache {
    std::optional<std::optional<std::vector<std::u16string>>> serviceNames;
    std::optional<std::shared_ptr<platform::TaskScheduler>> scheduler;
    std::map<std::u16string, platform::TaskFolder> taskFolders;
    std::map<std::u16string, std::optional<std::string>> files;
  };
  auto cache = std::make_shared<Cache>();
  Machine machine;
  machine.readValue = platform::ReadRegistryValue;
  machine.keyExists = platform::RegistryKeyExists;
  machine.subkeys = platform::RegistrySubkeys;
  machine.values = platform::RegistryValues;
  machine.serviceStart = platform::ServiceStartType;
  machine.serviceNames = [cache] {
    if (!cache->serviceNames) cache->serviceNames = platform::ServiceNames();
    return *cache->serviceNames;
  };
  machine.tasksIn = [cache](std::u16string_view folder) {
    const std::u16string key(folder);
    auto found = cache->taskFolders.find(key);
    if (found == cache->taskFolders.end()) {
      if (!cache->scheduler) cache->scheduler = platform::ConnectTaskScheduler();
      found = cache->taskFolders.emplace(key, platform::ScheduledTasksIn(cache->scheduler->get(), folder)).first;
    }
    return found->second;
  };
  machine.packageInstalled = platform::PackageFamilyInstalled;
  machine.readFile = [cache](const std::u16string& path) {
    auto found = cache->files.find(path);
    if (found == cache->files.end())
      found = cache->files.emplace(path, platform::ReadSmallFile(path, kMachineFileBytes)).first;
    return found->second;
  };
  machine.fileExists = platform::FileExists;
  machine.expand = platform::ExpandEnvironment;
  machine.hostsPath = platform::HostsFilePath();
  machine.appData = platform::RoamingAppDataFolder();
  machine.version = platform::RunningWindowsVersion();
  return machine;
}
