#include "journal/capture.h"

#include <cctype>
#include <optional>
#include <set>

#include "platform/text.h"
#include "state/step_targets.h"

namespace {

using platform::RegistryLookup;

std::u16string Wide(std::string_view text) { return platform::Utf8ToUtf16(text); }
std::string Narrow(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

// A registry name kept in the journal as UTF-8 must come back unchanged; a
// name with an unpaired surrogate would not.
std::optional<std::string> ExactName(std::u16string_view name) {
  std::string narrow = Narrow(name);
  if (Wide(narrow) != name) return std::nullopt;
  return narrow;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// The highest key on the path that is missing; "" when the key exists or
// when that cannot be told (then nothing will be removed).
std::string MissingFrom(const Machine& machine, const KeyPath& key) {
  const std::optional<bool> exists = machine.keyExists(key.hive, key.path);
  if (!exists || *exists) return {};
  size_t end = 0;
  while (true) {
    end = key.path.find(u'\\', end);
    const std::u16string prefix = key.path.substr(0, end);
    const std::optional<bool> found = machine.keyExists(key.hive, prefix);
    if (!found) return {};
    if (!*found) return std::string(HiveName(key.hive)) + "\\" + Narrow(prefix);
    if (end == std::u16string::npos) return {};
    ++end;
  }
}

struct Reader {
  const Machine& machine;
  Captured& out;
  bool keepContents;

  void Miss(std::string text) { out.missed.push_back(std::move(text)); }

  void Value(std::string_view keyText, std::string_view name) {
    Capture capture;
    capture.kind = Capture::Kind::kValue;
    capture.target = keyText;
    capture.name = name;
    const std::optional<KeyPath> key = SplitKey(keyText);
    if (!key) return Miss(TargetText(capture) + " names no known hive");
    const platform::RegistryRead read = machine.readValue(key->hive, key->path, Wide(name));
    switch (read.status) {
      case RegistryLookup::kUnreadable: return Miss(TargetText(capture) + " cannot be read");
      case RegistryLookup::kFound:
        if (read.value.data.size() > kMaxCaptureBytes) return Miss(TargetText(capture) + " is too large to keep");
        capture.present = true;
        capture.value = read.value;
        break;
      case RegistryLookup::kKeyMissing: capture.made = MissingFrom(machine, *key); break;
      case RegistryLookup::kValueMissing: break;
    }
    out.captures.push_back(std::move(capture));
  }

  void Tree(std::string_view keyText) {
    Capture capture;
    capture.kind = Capture::Kind::kTree;
    capture.target = keyText;
    const std::optional<KeyPath> key = SplitKey(keyText);
    if (!key) return Miss(TargetText(capture) + " names no known hive");
    const std::optional<bool> exists = machine.keyExists(key->hive, key->path);
    if (!exists) return Miss(TargetText(capture) + " cannot be read");
    if (!*exists) {
      capture.made = MissingFrom(machine, *key);
      out.captures.push_back(std::move(capture));
      return;
    }
    capture.present = true;
    size_t bytes = 0;
    // Breadth first: every key is recorded before its subkeys.
    std::vector<std::u16string> pending{u""};
    for (size_t next = 0; next < pending.size(); ++next) {
      const std::u16string relative = pending[next];
      const std::u16string full = relative.empty() ? key->path : key->path + u"\\" + relative;
      const auto values = machine.values(key->hive, full);
      const auto subkeys = machine.subkeys(key->hive, full);
      const std::optional<std::string> path = ExactName(relative);
      if (!values || !subkeys || !path) return Miss(TargetText(capture) + " cannot be read whole");
      RegistryKeyState state{*path, {}};
      for (const auto& [wideName, value] : *values) {
        const std::optional<std::string> valueName = ExactName(wideName);
        if (!valueName) return Miss(TargetText(capture) + " cannot be read whole");
        bytes += valueName->size() + value.data.size();
        state.values.emplace_back(*valueName, value);
      }
      for (const std::u16string& subkey : *subkeys) {
        bytes += subkey.size();
        pending.push_back(relative.empty() ? subkey : relative + u"\\" + subkey);
      }
      if (bytes > kMaxCaptureBytes) return Miss(TargetText(capture) + " is too large to keep");
      capture.keys.push_back(std::move(state));
    }
    out.captures.push_back(std::move(capture));
  }

  void Service(std::string_view name) {
    Capture capture;
    capture.kind = Capture::Kind::kService;
    capture.target = name;
    const platform::ServiceStart start = machine.serviceStart(Wide(name));
    if (start.status == platform::ServiceStart::Status::kUnreadable) {
      return Miss(TargetText(capture) + " cannot be read");
    }
    capture.present = start.status == platform::ServiceStart::Status::kFound;
    capture.startType = start.startType;
    capture.delayed = start.delayed;
    out.captures.push_back(std::move(capture));
  }

  // Every task of the folder whose name matches `pattern`.
  void Tasks(std::string_view folder, std::string_view pattern) {
    const platform::TaskFolder tasks = machine.tasksIn(Wide(folder));
    if (tasks.status == platform::TaskFolder::Status::kUnreadable) {
      return Miss("task folder " + std::string(folder) + " cannot be read");
    }
    for (const platform::ScheduledTask& task : tasks.tasks) {
      const std::optional<std::string> name = ExactName(task.name);
      if (!name || !WildcardMatch(pattern, *name)) continue;
      Capture capture;
      capture.kind = Capture::Kind::kTask;
      capture.target = std::string(folder) + *name;
      capture.present = true;
      capture.enabled = task.enabled;
      out.captures.push_back(std::move(capture));
    }
  }

  // One task by its full path, absent when it is gone. Task names hold no
  // '*' or '?', so the name matches itself alone.
  void Task(std::string_view path) {
    const size_t slash = path.rfind('\\');
    const size_t captures = out.captures.size();
    const size_t missed = out.missed.size();
    Tasks(path.substr(0, slash + 1), path.substr(slash + 1));
    if (out.captures.size() == captures && out.missed.size() == missed) {
      Capture capture;
      capture.kind = Capture::Kind::kTask;
      capture.target = path;
      out.captures.push_back(std::move(capture));
    }
  }

  void File(const std::u16string& path) {
    Capture capture;
    capture.kind = Capture::Kind::kFile;
    capture.target = Narrow(path);
    capture.keepsContent = keepContents;
    const std::optional<std::string> content = machine.readFile(path);
    if (content && content->size() <= kMaxCaptureBytes) {
      capture.present = true;
      capture.size = content->size();
      capture.digest = Fnv1a(*content);
      if (keepContents) capture.content = *content;
    } else if (content || machine.fileExists(path) != std::optional<bool>(false)) {
      return Miss(TargetText(capture) + " cannot be read or is larger than 1 MiB");
    }
    out.captures.push_back(std::move(capture));
  }

  void Subkeys(std::u16string_view parent, platform::RegistryHive hive,
               const std::function<void(const std::string& key, const std::u16string& subkey)>& each) {
    const auto names = machine.subkeys(hive, parent);
    if (!names) return;
    for (const std::u16string& name : *names) {
      each(std::string(HiveName(hive)) + "\\" + Narrow(parent) + "\\" + Narrow(name), name);
    }
  }

  void Step(const StepDef& step) {
    const std::string_view family = step.family;
    const auto param = [&step](std::string_view name) { return ParamValue(step, name); };
    if (family == "set-registry-value") {
      Value(param("key"), StoredValueName(param("value")));
    } else if (family == "delete-registry-value") {
      Value(param("key"), StoredValueName(param("value")));
    } else if (family == "terminate-on-startup") {
      Value(kImageOptionsKey + std::string(param("executable")), "Debugger");
    } else if (family == "activate-disallow-run") {
      Value(kExplorerPoliciesKey, "DisallowRun");
    } else if (family == "remove-registry-key" || family == "create-registry-key") {
      Tree(param("key"));
    } else if (family == "deprovision-store-app") {
      Tree(kDeprovisionedKey + std::string(param("package-family")));
    } else if (family == "block-executable") {
      Tree(kDisallowRunKey);
    } else if (family == "remove-onedrive-navigation-entry") {
      Subkeys(kNavigationNamespaceKey, platform::RegistryHive::kCurrentUser,
              [this](const std::string& key, const std::u16string& name) {
                const platform::RegistryRead read = machine.readValue(
                    platform::RegistryHive::kCurrentUser, std::u16string(kNavigationNamespaceKey) + u"\\" + name, u"");
                if (read.status == RegistryLookup::kFound && IsOneDriveEntry(read.value)) Tree(key);
              });
    } else if (family == "disable-netbios") {
      Subkeys(kNetbiosInterfacesKey, platform::RegistryHive::kLocalMachine,
              [this](const std::string& key, const std::u16string&) { Value(key, "NetbiosOptions"); });
    } else if (family == "disable-service") {
      Service(param("service"));
    } else if (family == "disable-per-user-service") {
      // The step writes the Start values of the template and of its instances.
      const auto all = machine.subkeys(platform::RegistryHive::kLocalMachine, kServicesKey);
      if (!all) return Miss("the services' registry keys cannot be listed");
      for (const std::u16string& name : PerUserServiceNames(*all, param("service"))) {
        Value("HKLM\\" + Narrow(kServicesKey) + "\\" + Narrow(name), "Start");
      }
    } else if (family == "disable-scheduled-task") {
      Tasks(param("folder"), param("task"));
    } else if (family == "add-hosts-entries") {
      if (machine.hostsPath.empty()) return Miss("the hosts file's place is unknown");
      File(machine.hostsPath);
    } else if (family == "editor-setting") {
      if (machine.appData.empty()) return Miss("the application data folder is unknown");
      File(machine.appData + kEditorSettingsFile);
    } else {
      Miss("the program does not know how to record \"" + std::string(family) + "\"");
    }
  }
};

void KeepFirstOfEachTarget(std::vector<Capture>* captures) {
  std::set<std::string> seen;
  std::vector<Capture> kept;
  for (Capture& capture : *captures) {
    if (seen.insert(TargetId(capture)).second) kept.push_back(std::move(capture));
  }
  *captures = std::move(kept);
}

std::string StartName(uint32_t start) {
  static constexpr const char* kNames[] = {"Boot", "System", "Automatic", "Manual", "Disabled"};
  return (start < 5 ? std::string(kNames[start]) : std::string("type")) + " (" + std::to_string(start) + ")";
}

}  // namespace

Captured CaptureSteps(std::span<const StepDef> steps, const Machine& machine) {
  Captured captured;
  Reader reader{machine, captured, true};
  for (const StepDef& step : steps) {
    if (step.undo == StepUndo::kExact) reader.Step(step);
  }
  KeepFirstOfEachTarget(&captured.captures);
  return captured;
}

Captured Recapture(const std::vector<Capture>& targets, const Machine& machine, bool keepContents) {
  Captured captured;
  Reader reader{machine, captured, keepContents};
  for (const Capture& target : targets) {
    switch (target.kind) {
      case Capture::Kind::kValue: reader.Value(target.target, target.name); break;
      case Capture::Kind::kTree: reader.Tree(target.target); break;
      case Capture::Kind::kService: reader.Service(target.target); break;
      case Capture::Kind::kTask: reader.Task(target.target); break;
      case Capture::Kind::kFile: reader.File(Wide(target.target)); break;
    }
  }
  return captured;
}

std::string TargetId(const Capture& capture) {
  return std::to_string(static_cast<int>(capture.kind)) + "\n" + Lower(capture.target) + "\n" + Lower(capture.name);
}

bool SameState(const Capture& a, const Capture& b) {
  if (a.present != b.present) return false;
  if (!a.present) return true;
  switch (a.kind) {
    case Capture::Kind::kValue: return a.value == b.value;
    case Capture::Kind::kTree: {
      if (a.keys.size() != b.keys.size()) return false;
      for (size_t i = 0; i < a.keys.size(); ++i) {
        if (a.keys[i].path != b.keys[i].path || a.keys[i].values.size() != b.keys[i].values.size()) return false;
        for (size_t j = 0; j < a.keys[i].values.size(); ++j) {
          const auto& [nameA, valueA] = a.keys[i].values[j];
          const auto& [nameB, valueB] = b.keys[i].values[j];
          if (nameA != nameB || valueA != valueB) return false;
        }
      }
      return true;
    }
    case Capture::Kind::kService: return a.startType == b.startType && a.delayed == b.delayed;
    case Capture::Kind::kTask: return a.enabled == b.enabled;
    case Capture::Kind::kFile: return a.size == b.size && a.digest == b.digest;
  }
  return false;
}

std::string TargetText(const Capture& capture) {
  switch (capture.kind) {
    case Capture::Kind::kValue:
      return "value " + (capture.name.empty() ? std::string("(default)") : capture.name) + " of " + capture.target;
    case Capture::Kind::kTree: return "key " + capture.target;
    case Capture::Kind::kService: return "service " + capture.target;
    case Capture::Kind::kTask: return "task " + capture.target;
    case Capture::Kind::kFile: return "file " + capture.target;
  }
  return capture.target;
}

std::string StateText(const Capture& capture) {
  if (!capture.present) return capture.kind == Capture::Kind::kService ? "not installed" : "absent";
  switch (capture.kind) {
    case Capture::Kind::kValue: return Shown(capture.value) + " (" + TypeName(capture.value.type) + ")";
    case Capture::Kind::kTree: {
      size_t values = 0;
      for (const RegistryKeyState& key : capture.keys) values += key.values.size();
      return "present with " + std::to_string(capture.keys.size() - 1) + " subkeys and " + std::to_string(values) +
             " values";
    }
    case Capture::Kind::kService:
      return "starts " + StartName(capture.startType) + (capture.delayed ? ", delayed" : "");
    case Capture::Kind::kTask: return capture.enabled ? "enabled" : "disabled";
    case Capture::Kind::kFile: return std::to_string(capture.size) + " bytes";
  }
  return {};
}

uint64_t Fnv1a(std::string_view bytes) {
  uint64_t hash = 14695981039346656037ull;
  for (const char byte : bytes) {
    hash ^= static_cast<unsigned char>(byte);
    hash *= 1099511628211ull;
  }
  return hash;
}
