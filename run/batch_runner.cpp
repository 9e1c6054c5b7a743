#include "run/batch_runner.h"

#include <array>
#include <cstring>

#include "platform/data_folder.h"
#include "platform/environment.h"
#include "platform/machine.h"
#include "platform/random.h"
#include "platform/thread.h"
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

// Reads the batch's output until every process holding the pipe's write end
// has closed it, keeping the tail: the batch can never block on a full pipe.
struct OutputReader {
  const BatchSystem* system;
  platform::Handle pipe;
  OutputTail tail;
};

void ReadAllOutput(void* argument) {
  auto& reader = *static_cast<OutputReader*>(argument);
  std::array<char, 16 * 1024> buffer;
  bool keeping = true;
  for (;;) {
    const size_t got = reader.system->readOutput(reader.pipe, buffer.data(), buffer.size());
    if (got == 0) break;
    if (!keeping) continue;
    try {
      AppendOutput(reader.tail, std::string_view(buffer.data(), got));
    } catch (...) {
      keeping = false;  // out of memory: go on draining the pipe, keep what there is
    }
  }
}

struct Captured {
  BatchResult result;
  bool treeEnded = true;  // false: something the batch started may still run
};

// Starts the batch with its output going to a pipe read on a thread of its
// own, waits for it, and then ends whatever is left in its job: what it left
// behind after its end, or all of it when it ran out of time.
Captured RunCaptured(const BatchSystem& system, platform::ProcessStart start, uint32_t timeoutMs) {
  Captured captured;
  const platform::OutputPipe pipe = system.createOutputPipe();
  if (pipe.read == 0) return captured;
  OutputReader reader{&system, pipe.read, {}};
  const platform::ThreadHandle thread = platform::StartThread(ReadAllOutput, &reader);
  if (thread == 0) {
    system.closeFile(pipe.read);
    system.closeFile(pipe.write);
    return captured;
  }
  start.output = pipe.write;
  const platform::StartedProcess started = system.startHiddenProcess(start);
  // The child has its own copy of the write end.
  system.closeFile(pipe.write);
  if (started.process != 0) {
    const platform::ProcessWait wait = system.waitForProcess(started.process, timeoutMs);
    captured.treeEnded = system.endProcessTree(started);
    BatchResult& r = captured.result;
    if (wait.result == platform::WaitResult::TimedOut) {
      r.outcome = BatchOutcome::TimedOut;
      r.timeoutMs = timeoutMs;
    } else {
      if (wait.result == platform::WaitResult::Exited) r.exitCode = wait.exitCode;
      r.outcome = r.exitCode == 0u ? BatchOutcome::Succeeded : BatchOutcome::Failed;
    }
  }
  platform::JoinThread(thread);
  system.closeFile(pipe.read);
  if (started.process != 0) system.releaseProcess(started);
  SetOutputText(captured.result, reader.tail);
  return captured;
}

BatchResult RunInDirectory(const BatchSystem& system, const std::u16string& directory, const std::string& content,
                           bool elevated, const BatchEnvironmentFacts& facts, uint32_t timeoutMs) {
  // The file is created exclusively: a name that someone prepared is never
  // opened. Elevated, it is readable by administrators only.
  const std::u16string processId = Decimal(system.currentProcessId());
  std::u16string path;
  platform::CreatedFile created;
  for (int attempt = 0; attempt < kBatchNameAttempts && created.status != platform::CreateStatus::Created; ++attempt) {
    const uint32_t number = g_batchFileCounter.fetch_add(1) + 1;
    path = directory + u"quarnfeld_" + processId + u"_" + Decimal(number) + u".bat";
    if (path.size() > kMaxBatchPathUnits) return {};
    created = system.createNewFile(path, content, elevated);
    if (created.status == platform::CreateStatus::Failed) return {};
  }
  if (created.status != platform::CreateStatus::Created) return {};

  // Between closing the new file and cmd.exe reading it, the file could be
  // swapped or rewritten. Hold it open with read-only sharing (nobody can then
  // write, delete or rename it) and check it is still the file and the bytes
  // written; cmd.exe reads it through the same name while we hold it.
  const platform::LockedFile locked = system.openLockedForReading(path, content.size() + 1);
  if (locked.handle == 0) {
    system.deleteFile(path);
    return {};
  }
  if (locked.identity != created.identity || locked.content != content) {
    system.closeFile(locked.handle);
    // Only our own file is ours to delete; a replacement is left alone.
    if (locked.identity == created.identity) system.deleteFile(path);
    return {};
  }
  // cmd.exe opens the file by this path again: every folder on the way must
  // be a plain one, so that the path cannot lead anywhere else.
  if (elevated && !PathHoldsNoLink(path, system.kindOfEntry)) {
    system.closeFile(locked.handle);
    system.deleteFile(path);
    return {};
  }

  // TEMP keeps meaning the user's own temporary folder (the cleanup tweaks
  // empty it) when that is a plain folder of the profile; otherwise it is the
  // batch's own folder, which holds nothing else.
  std::u16string temp = CheckedProfileTemp(facts, system.kindOfEntry);
  if (temp.empty()) temp = directory.substr(0, directory.size() - 1);
  const std::u16string& systemFolder = facts.folders.system;
  const std::u16string cmd = systemFolder + u"\\cmd.exe";
  platform::ProcessStart start{cmd, u"\"" + cmd + u"\" /D /S /C \"\"" + path + u"\"\"", systemFolder,
                               BuildEnvironmentBlock(facts, temp), 0};
  const Captured captured = RunCaptured(system, std::move(start), timeoutMs);
  // A batch that could not be ended keeps its file held and in place.
  if (captured.treeEnded) {
    system.closeFile(locked.handle);
    system.deleteFile(path);
  }
  return captured.result;
}

}  // namespace

BatchResult RunBatchScriptWith(const BatchSystem& system, const char* script, uint32_t timeoutMs) {
  if (script == nullptr || script[0] == '\0') return {};
  const bool elevated = system.isElevated();
  const BatchEnvironmentFacts facts = system.environmentFacts();
  if (!EnvironmentFactsComplete(facts)) return {};

  std::string content;
  const size_t scriptLength = std::strlen(script);
  content.reserve(sizeof kBatchHeader + scriptLength + sizeof kBatchFooter);
  content.append(kBatchHeader).append(script, scriptLength).append(kBatchFooter);

  if (!elevated) {
    // No boundary to defend: the user's own temporary folder.
    const std::u16string directory = system.temporaryDirectory();
    if (directory.empty()) return {};
    return RunInDirectory(system, directory, content, false, facts, timeoutMs);
  }
  // A folder of this batch's own with a random name, created here under the
  // administrators-only data folder: nobody else prepared it or can change it.
  const std::u16string parent = system.administratorsDataFolder();
  if (parent.empty()) return {};
  std::u16string runDirectory;
  for (int attempt = 0; attempt < kBatchNameAttempts && runDirectory.empty(); ++attempt) {
    std::u16string candidate = parent + u"run-" + platform::Hex16(system.randomNumber());
    if (system.createAdministratorsOnlyDirectory(candidate)) runDirectory = std::move(candidate);
  }
  if (runDirectory.empty()) return {};
  BatchResult result = RunInDirectory(system, runDirectory + parent.back(), content, true, facts, timeoutMs);
  system.removeEmptyDirectory(runDirectory);
  return result;
}

BatchSystem SystemBatchOperations() {
  return {platform::ProcessIsElevated,
          SystemEnvironmentFacts,
          platform::TemporaryDirectory,
          platform::AdministratorsDataFolder,
          platform::RandomNumber,
          platform::CurrentProcessId,
          platform::CreateAdministratorsOnlyDirectory,
          platform::RemoveEmptyDirectory,
          platform::KindOfEntry,
          platform::CreateNewFile,
          platform::OpenLockedForReading,
          platform::CloseFile,
          platform::DeleteFileAt,
          platform::CreateOutputPipe,
          platform::ReadOutput,
          platform::StartHiddenProcess,
          platform::WaitForProcess,
          platform::EndProcessTree,
          platform::ReleaseProcess};
}

BatchResult RunBatchScript(const char* script) {
  static const BatchSystem system = SystemBatchOperations();
  return RunBatchScriptWith(system, script, kScriptTimeoutMs);
}
