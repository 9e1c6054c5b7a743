#pragma once
// Putting a recorded state back, natively: a value set or deleted again, a
// subtree deleted and rebuilt, a service's start type, a task's state, a
// file's bytes. Keys a step created are removed again once they are empty.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "journal/capture.h"
#include "platform/registry.h"

// The machine writes undo uses; SystemMachineChanges() makes them for real,
// tests keep a machine of their own. Each answers 0 or the system's error.
struct MachineChanges {
  std::function<uint32_t(platform::RegistryHive, std::u16string_view key, std::u16string_view name,
                         const platform::RegistryValue& value)>
      setValue;
  std::function<uint32_t(platform::RegistryHive, std::u16string_view key, std::u16string_view name)> deleteValue;
  std::function<uint32_t(platform::RegistryHive, std::u16string_view key)> createKey;
  std::function<uint32_t(platform::RegistryHive, std::u16string_view key)> deleteTree;
  std::function<uint32_t(platform::RegistryHive, std::u16string_view key)> deleteEmptyKey;  // kErrorDirNotEmpty
  std::function<uint32_t(std::u16string_view service, uint32_t startType, bool delayed)> setServiceStart;
  std::function<uint32_t(std::u16string_view folder, std::u16string_view task, bool enabled)> setTaskEnabled;
  std::function<uint32_t(const std::u16string& path, std::string_view content)> replaceFile;
  std::function<uint32_t(const std::u16string& path)> removeFile;
};

MachineChanges SystemMachineChanges();

// Makes the machine hold `before` again. Empty on success; otherwise what
// failed, in plain words with the system's error number.
std::string RestoreCapture(const Capture& before, const MachineChanges& changes);
