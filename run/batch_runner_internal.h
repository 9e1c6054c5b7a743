#pragma once
// The batch runner's decisions over a replaceable set of system operations, so
// tests can feed any case (a taken name, a swapped file, a link in the path, a
// failed start, output bigger than a pipe holds) and a short timeout.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/processes.h"
#include "run/batch_environment.h"
#include "run/batch_output.h"

struct BatchSystem {
  std::function<bool()> isElevated;
  std::function<BatchEnvironmentFacts()> environmentFacts;
  std::function<std::u16string()> temporaryDirectory;
  std::function<std::u16string()> administratorsDataFolder;
  std::function<uint64_t()> randomNumber;
  std::function<uint32_t()> currentProcessId;
  std::function<bool(const std::u16string&)> createAdministratorsOnlyDirectory;
  std::function<void(const std::u16string&)> removeEmptyDirectory;
  std::function<platform::EntryKind(const std::u16string&)> kindOfEntry;
  std::function<platform::CreatedFile(const std::u16string&, std::string_view, bool)> createNewFile;
  std::function<platform::LockedFile(const std::u16string&, size_t)> openLockedForReading;
  std::function<void(platform::Handle)> closeFile;
  std::function<void(const std::u16string&)> deleteFile;
  std::function<platform::OutputPipe()> createOutputPipe;
  std::function<size_t(platform::Handle, char*, size_t)> readOutput;
  std::function<platform::StartedProcess(const platform::ProcessStart&)> startHiddenProcess;
  std::function<platform::ProcessWait(platform::Handle, uint32_t)> waitForProcess;
  std::function<bool(const platform::StartedProcess&)> endProcessTree;
  std::function<void(const platform::StartedProcess&)> releaseProcess;
};

// The real operations of this platform.
BatchSystem SystemBatchOperations();

// How many names are tried when the next one is already taken, for the file
// and for the elevated run's folder.
inline constexpr int kBatchNameAttempts = 16;
// Longest batch file path, in UTF-16 units, terminator not counted.
inline constexpr size_t kMaxBatchPathUnits = 259;

BatchResult RunBatchScriptWith(const BatchSystem& system, const char* script, uint32_t timeoutMs);
