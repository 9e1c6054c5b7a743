#pragma once
// A machine made up in memory for the state check and the journal: registry
// keys and values, services, tasks, files and packages, read through Reader()
// and written through Changes(), as the real ones are.
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "journal/restore.h"
#include "state/state_check.h"

inline platform::RegistryValue Dword(uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return {platform::kRegDword, bytes};
}

inline platform::RegistryValue Sz(std::u16string_view text) {
  std::string bytes;
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  bytes.append(2, '\0');
  return {platform::kRegSz, bytes};
}

// Keys are "HIVE\path" with the hive's number; values by name. A key exists
// when it is listed; writes list every key above it too, as the registry has
// them.
struct FakeMachine {
  using RegistryHive = platform::RegistryHive;
  using RegistryValue = platform::RegistryValue;

  std::map<std::u16string, std::map<std::u16string, RegistryValue>> keys;
  std::map<std::u16string, uint32_t> services;
  std::set<std::u16string> delayed;  // services whose automatic start waits
  std::map<std::u16string, std::vector<platform::ScheduledTask>> tasks;
  std::map<std::u16string, std::string> files;
  std::map<std::u16string, bool> packages;
  uint32_t failWrites = 0;  // when not 0, every write fails with this error

  bool operator==(const FakeMachine&) const = default;

  static std::u16string Id(RegistryHive hive, std::u16string_view key) {
    return std::u16string(1, static_cast<char16_t>(u'0' + static_cast<int>(hive))) + u"\\" + std::u16string(key);
  }
  void Set(RegistryHive hive, std::u16string_view key, std::u16string_view name, RegistryValue value) {
    keys[Id(hive, key)][std::u16string(name)] = std::move(value);
  }
  // The key with every key above it.
  void Create(RegistryHive hive, std::u16string_view key) {
    for (size_t end = 0; end != std::u16string_view::npos;) {
      end = key.find(u'\\', end + 1);
      keys[Id(hive, key.substr(0, end))];
    }
  }

  Machine Reader() const {
    Machine machine;
    machine.readValue = [this](RegistryHive hive, std::u16string_view key, std::u16string_view name) {
      const auto found = keys.find(Id(hive, key));
      if (found == keys.end()) return platform::RegistryRead{platform::RegistryLookup::kKeyMissing, {}};
      const auto value = found->second.find(std::u16string(name));
      if (value == found->second.end()) return platform::RegistryRead{platform::RegistryLookup::kValueMissing, {}};
      return platform::RegistryRead{platform::RegistryLookup::kFound, value->second};
    };
    machine.keyExists = [this](RegistryHive hive, std::u16string_view key) -> std::optional<bool> {
      return keys.count(Id(hive, key)) > 0;
    };
    machine.subkeys = [this](RegistryHive hive, std::u16string_view key) {
      std::optional<std::vector<std::u16string>> names;
      if (keys.count(Id(hive, key)) == 0 && !Below(hive, key)) return names;
      names.emplace();
      const std::u16string prefix = Id(hive, key) + u"\\";
      for (const auto& [id, values] : keys) {
        if (id.starts_with(prefix) && id.find(u'\\', prefix.size()) == std::u16string::npos) {
          names->push_back(id.substr(prefix.size()));
        }
      }
      return names;
    };
    machine.values = [this](RegistryHive hive, std::u16string_view key) {
      std::optional<std::vector<std::pair<std::u16string, RegistryValue>>> result;
      const auto found = keys.find(Id(hive, key));
      if (found != keys.end()) result.emplace(found->second.begin(), found->second.end());
      return result;
    };
    machine.serviceStart = [this](std::u16string_view name) {
      const auto found = services.find(std::u16string(name));
      if (found == services.end()) return platform::ServiceStart{platform::ServiceStart::Status::kNotInstalled, 0};
      return platform::ServiceStart{platform::ServiceStart::Status::kFound, found->second,
                                    delayed.count(found->first) > 0};
    };
    machine.serviceNames = [this] {
      std::vector<std::u16string> names;
      for (const auto& [name, start] : services) names.push_back(name);
      return std::optional(names);
    };
    machine.tasksIn = [this](std::u16string_view folder) {
      const auto found = tasks.find(std::u16string(folder));
      if (found == tasks.end()) return platform::TaskFolder{platform::TaskFolder::Status::kMissing, {}};
      return platform::TaskFolder{platform::TaskFolder::Status::kFound, found->second};
    };
    machine.packageInstalled = [this](std::u16string_view family) -> std::optional<bool> {
      return packages.count(std::u16string(family)) > 0;
    };
    machine.readFile = [this](const std::u16string& path) -> std::optional<std::string> {
      const auto found = files.find(path);
      if (found == files.end()) return std::nullopt;
      return found->second;
    };
    machine.fileExists = [this](const std::u16string& path) -> std::optional<bool> { return files.count(path) > 0; };
    machine.expand = [](std::u16string_view text) {
      std::u16string out(text);
      const std::u16string variable = u"%SYSTEMROOT%";
      for (size_t at; (at = out.find(variable)) != std::u16string::npos;)
        out.replace(at, variable.size(), u"C:\\Windows");
      return out;
    };
    machine.hostsPath = u"hosts";
    machine.appData = u"C:\\Users\\u\\AppData\\Roaming";
    machine.version = {10, 0, 19045};
    return machine;
  }

  MachineChanges Changes() {
    MachineChanges changes;
    changes.setValue = [this](RegistryHive hive, std::u16string_view key, std::u16string_view name,
                              const RegistryValue& value) {
      if (failWrites != 0) return failWrites;
      Create(hive, key);
      Set(hive, key, name, value);
      return 0u;
    };
    changes.deleteValue = [this](RegistryHive hive, std::u16string_view key, std::u16string_view name) {
      if (failWrites != 0) return failWrites;
      const auto found = keys.find(Id(hive, key));
      if (found != keys.end()) found->second.erase(std::u16string(name));
      return 0u;
    };
    changes.createKey = [this](RegistryHive hive, std::u16string_view key) {
      if (failWrites != 0) return failWrites;
      Create(hive, key);
      return 0u;
    };
    changes.deleteTree = [this](RegistryHive hive, std::u16string_view key) {
      if (failWrites != 0) return failWrites;
      const std::u16string id = Id(hive, key);
      std::erase_if(keys,
                    [&id](const auto& entry) { return entry.first == id || entry.first.starts_with(id + u"\\"); });
      return 0u;
    };
    changes.deleteEmptyKey = [this](RegistryHive hive, std::u16string_view key) {
      if (failWrites != 0) return failWrites;
      const std::u16string id = Id(hive, key);
      const auto found = keys.find(id);
      if (found == keys.end()) return 0u;
      if (!found->second.empty() || Below(hive, key)) return platform::kErrorDirNotEmpty;
      keys.erase(found);
      return 0u;
    };
    changes.setServiceStart = [this](std::u16string_view name, uint32_t start, bool isDelayed) {
      if (failWrites != 0) return failWrites;
      const std::u16string service(name);
      if (services.count(service) == 0) return 1060u;
      services[service] = start;
      if (isDelayed) {
        delayed.insert(service);
      } else {
        delayed.erase(service);
      }
      return 0u;
    };
    changes.setTaskEnabled = [this](std::u16string_view folder, std::u16string_view task, bool enabled) {
      if (failWrites != 0) return failWrites;
      for (platform::ScheduledTask& each : tasks[std::u16string(folder)]) {
        if (each.name == task) {
          each.enabled = enabled;
          return 0u;
        }
      }
      return 2u;
    };
    changes.replaceFile = [this](const std::u16string& path, std::string_view content) {
      if (failWrites != 0) return failWrites;
      files[path] = std::string(content);
      return 0u;
    };
    changes.removeFile = [this](const std::u16string& path) {
      if (failWrites != 0) return failWrites;
      files.erase(path);
      return 0u;
    };
    return changes;
  }

 private:
  // Whether some listed key lies below `key`.
  bool Below(RegistryHive hive, std::u16string_view key) const {
    const std::u16string prefix = Id(hive, key) + u"\\";
    const auto next = keys.lower_bound(prefix);
    return next != keys.end() && next->first.starts_with(prefix);
  }
};
