#pragma once
// The batch runner's decisions over a replaceable set of system operations, so
// tests can feed any case (a taken name, a swapped file, a failed start) and a
// short timeout.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/batch_file.h"

struct BatchSystem {
  std::function<std::u16string()> temporaryDirectory;
  std::function<uint32_t()> currentProcessId;
  std::function<bool()> isElevated;
  std::function<platform::CreatedFile(const std::u16string&, std::string_view, bool)> createNewFile;
  std::function<platform::LockedFile(const std::u16string&, size_t)> openLockedForReading;
  std::function<void(platform::Handle)> closeFile;
  std::function<void(const std::u16string&)> deleteFile;
  std::function<platform::Handle(const std::u16string&)> startHiddenProcess;
  std::function<std::optional<uint32_t>(platform::Handle, uint32_t)> waitAndClose;
};

// The real operations of this platform.
BatchSystem SystemBatchOperations();

// How many names are tried when the next one is already taken.
inline constexpr int kBatchNameAttempts = 16;
// Longest batch file path, in UTF-16 units, terminator not counted.
inline constexpr size_t kMaxBatchPathUnits = 259;

bool RunBatchScriptWith(const BatchSystem& system, const char* script, uint32_t timeoutMs);
