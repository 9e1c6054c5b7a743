#include "journal/restore.h"

#include <memory>
#include <optional>

#include "platform/file_change.h"
#include "platform/system_state.h"
#include "platform/text.h"
#include "state/step_targets.h"

namespace {

std::u16string Wide(std::string_view text) { return platform::Utf8ToUtf16(text); }

std::string Failed(const Capture& capture, std::string_view what, uint32_t error) {
  return TargetText(capture) + ": " + std::string(what) + " failed (error " + std::to_string(error) + ")";
}

// Removes `key` and the keys above it, up to and including `made`, as long as
// each is empty: what a step created and nothing else has filled since.
uint32_t RemoveCreatedKeys(const KeyPath& key, std::string_view made, const MachineChanges& changes) {
  const std::optional<KeyPath> top = SplitKey(made);
  if (!top || top->hive != key.hive) return 0;
  // Only keys on the path from `made` down to `key`.
  const bool onPath =
      key.path.starts_with(top->path) && (key.path.size() == top->path.size() || key.path[top->path.size()] == u'\\');
  if (!onPath) return 0;
  std::u16string path = key.path;
  while (path.size() >= top->path.size()) {
    const uint32_t status = changes.deleteEmptyKey(key.hive, path);
    if (status == platform::kErrorDirNotEmpty) return 0;
    if (status != 0) return status;
    const size_t slash = path.rfind(u'\\');
    if (slash == std::u16string::npos) break;
    path.resize(slash);
  }
  return 0;
}

std::string RestoreValue(const Capture& before, const KeyPath& key, const MachineChanges& changes) {
  const std::u16string name = Wide(before.name);
  if (before.present) {
    const uint32_t status = changes.setValue(key.hive, key.path, name, before.value);
    return status == 0 ? std::string() : Failed(before, "setting it back", status);
  }
  uint32_t status = changes.deleteValue(key.hive, key.path, name);
  if (status != 0) return Failed(before, "deleting it", status);
  status = RemoveCreatedKeys(key, before.made, changes);
  return status == 0 ? std::string() : Failed(before, "removing the keys the tweak created", status);
}

std::string RestoreTree(const Capture& before, const KeyPath& key, const MachineChanges& changes) {
  uint32_t status = changes.deleteTree(key.hive, key.path);
  if (status != 0) return Failed(before, "removing it", status);
  if (!before.present) {
    const size_t slash = key.path.rfind(u'\\');
    if (slash == std::u16string::npos) return {};
    status = RemoveCreatedKeys({key.hive, key.path.substr(0, slash)}, before.made, changes);
    return status == 0 ? std::string() : Failed(before, "removing the keys the tweak created", status);
  }
  for (const RegistryKeyState& state : before.keys) {
    const std::u16string path = state.path.empty() ? key.path : key.path + u"\\" + Wide(state.path);
    status = changes.createKey(key.hive, path);
    if (status != 0) return Failed(before, "creating it again", status);
    for (const auto& [name, value] : state.values) {
      status = changes.setValue(key.hive, path, Wide(name), value);
      if (status != 0) return Failed(before, "writing its values again", status);
    }
  }
  return {};
}

}  // namespace

std::string RestoreCapture(const Capture& before, const MachineChanges& changes) {
  switch (before.kind) {
    case Capture::Kind::kValue:
    case Capture::Kind::kTree: {
      const std::optional<KeyPath> key = SplitKey(before.target);
      if (!key) return TargetText(before) + " names no known hive";
      return before.kind == Capture::Kind::kValue ? RestoreValue(before, *key, changes)
                                                  : RestoreTree(before, *key, changes);
    }
    case Capture::Kind::kService: {
      // A service that was not installed before is not the tweak's to remove.
      if (!before.present) return {};
      const uint32_t status = changes.setServiceStart(Wide(before.target), before.startType, before.delayed);
      return status == 0 ? std::string() : Failed(before, "setting its start type back", status);
    }
    case Capture::Kind::kTask: {
      if (!before.present) return {};
      const size_t slash = before.target.rfind('\\');
      const uint32_t status = changes.setTaskEnabled(Wide(before.target.substr(0, slash + 1)),
                                                     Wide(before.target.substr(slash + 1)), before.enabled);
      return status == 0 ? std::string() : Failed(before, before.enabled ? "enabling it" : "disabling it", status);
    }
    case Capture::Kind::kFile: {
      if (before.present && !before.keepsContent) return TargetText(before) + ": its content was not recorded";
      const uint32_t status = before.present ? changes.replaceFile(Wide(before.target), before.content)
                                             : changes.removeFile(Wide(before.target));
      return status == 0 ? std::string() : Failed(before, "writing it back", status);
    }
  }
  return {};
}

MachineChanges SystemMachineChanges() {
  // The Task Scheduler is connected at the first task and released with the
  // last copy of these changes, on the thread that undoes.
  auto scheduler = std::make_shared<std::optional<std::shared_ptr<platform::TaskScheduler>>>();
  MachineChanges changes;
  changes.setValue = platform::SetRegistryValue;
  changes.deleteValue = platform::DeleteRegistryValue;
  changes.createKey = platform::CreateRegistryKey;
  changes.deleteTree = platform::DeleteRegistryTree;
  changes.deleteEmptyKey = platform::DeleteEmptyRegistryKey;
  changes.setServiceStart = platform::SetServiceStart;
  changes.setTaskEnabled = [scheduler](std::u16string_view folder, std::u16string_view task, bool enabled) {
    if (!*scheduler) *scheduler = platform::ConnectTaskScheduler();
    return platform::SetScheduledTaskEnabled(scheduler->value().get(), folder, task, enabled);
  };
  // A file undo brings back (the hosts file, the editor's settings) that is
  // missing now gets the security its folder hands down.
  changes.replaceFile = [](const std::u16string& path, std::string_view content) {
    return platform::ReplaceFileContent(path, content, false);
  };
  changes.removeFile = platform::RemoveFile;
  return changes;
}
