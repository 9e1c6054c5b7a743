#include "run/batch_runner.h"

#include <cstring>

#include "platform/machine.h"
#include "run/batch_runner_internal.h"

std::atomic<uint32_t> g_batchFileCounter{0};

namespace {

std::u16string Decimal(uint32_t n) {
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + n % 10));
    n /= 10;
  } while (n != 0);
  return digits;
}

}  // namespace

bool RunBatchScriptWith(const BatchSystem& system, const char* script, uint32_t timeoutMs) {
  if (script == nullptr || script[0] == '\0') return false;
  const std::u16string directory = system.temporaryDirectory();
  if (directory.empty()) return false;

  std::string content;
  const size_t scriptLength = std::strlen(script);
  content.reserve(sizeof kBatchHeader + scriptLength + sizeof kBatchFooter);
  content.append(kBatchHeader).append(script, scriptLength).append(kBatchFooter);

  // When elevated, the folder is still the user's own, writable by every
  // unelevated process of the user: create the file exclusively (a name that
  // someone prepared is never opened) and readable by administrators only.
  const bool elevated = system.isElevated();
  const std::u16string processId = Decimal(system.currentProcessId());
  std::u16string path;
  platform::CreatedFile created;
  for (int attempt = 0; attempt < kBatchNameAttempts && created.status != platform::CreateStatus::Created; ++attempt) {
    const uint32_t number = g_batchFileCounter.fetch_add(1) + 1;
    path = directory + u"quarnfeld_" + processId + u"_" + Decimal(number) + u".bat";
    if (path.size() > kMaxBatchPathUnits) return false;
    created = system.createNewFile(path, content, elevated);
    if (created.status == platform::CreateStatus::Failed) return false;
  }
  if (created.status != platform::CreateStatus::Created) return false;

  // Between closing the new file and cmd.exe reading it, the file could be
  // swapped or rewritten. Hold it open with read-only sharing (nobody can then
  // write, delete or rename it) and check it is still the file and the bytes
  // written; cmd.exe reads it through the same name while we hold it.
  const platform::LockedFile locked = system.openLockedForReading(path, content.size() + 1);
  if (locked.handle == 0) {
    system.deleteFile(path);
    return false;
  }
  if (locked.identity != created.identity || locked.content != content) {
    system.closeFile(locked.handle);
    // Only our own file is ours to delete; a replacement is left alone.
    if (locked.identity == created.identity) system.deleteFile(path);
    return false;
  }

  const platform::Handle process = system.startHiddenProcess(u"cmd.exe /S /C \"\"" + path + u"\"\"");
  std::optional<uint32_t> exitCode;
  if (process != 0) exitCode = system.waitAndClose(process, timeoutMs);
  system.closeFile(locked.handle);
  system.deleteFile(path);
  return exitCode == 0u;
}

BatchSystem SystemBatchOperations() {
  return {platform::TemporaryDirectory, platform::CurrentProcessId,     platform::ProcessIsElevated,
          platform::CreateNewFile,      platform::OpenLockedForReading, platform::CloseFile,
          platform::DeleteFileAt,       platform::StartHiddenProcess,   platform::WaitAndClose};
}

bool RunBatchScript(const char* script) {
  static const BatchSystem system = SystemBatchOperations();
  return RunBatchScriptWith(system, script, kScriptTimeoutMs);
}
