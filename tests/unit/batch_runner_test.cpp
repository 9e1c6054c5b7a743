// The batch runner's decisions, over scripted system operations: where the
// file goes, the order of the calls, the command line, the environment, the
// time-out and the output read while the batch runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "protocol/json_text.h"
#include "run/batch_runner.h"
#include "run/batch_runner_internal.h"

namespace {

using platform::CreateStatus;
using platform::EntryKind;

BatchEnvironmentFacts Facts() {
  BatchEnvironmentFacts f;
  f.folders = {u"C:\\Windows",
               u"C:\\Windows\\System32",
               u"C:\\ProgramData",
               u"C:\\Users\\Public",
               u"C:\\Program Files",
               u"C:\\Program Files (x86)",
               u"C:\\Program Files\\Common Files",
               u"C:\\Program Files (x86)\\Common Files",
               u"C:\\Users\\ann"};
  f.userName = u"ann";
  f.computerName = u"PC";
  f.processor = {{u"PROCESSOR_ARCHITECTURE", u"AMD64"}, {u"NUMBER_OF_PROCESSORS", u"8"}};
  return f;
}

// A pipe that holds `capacity` bytes: the fake batch blocks on it when full,
// as a real one does, until the runner's reader takes what is there.
struct FakePipe {
  std::mutex mutex;
  std::condition_variable changed;
  std::string bytes;
  size_t capacity = 4096;
  int writers = 0;  // the runner's end and the batch's copy
  bool writerClosed = false;

  void Open() {
    std::lock_guard lock(mutex);
    bytes.clear();
    writers = 1;
    writerClosed = false;
  }
  void AddWriter() {
    std::lock_guard lock(mutex);
    ++writers;
  }

  void Write(std::string_view data) {
    std::unique_lock lock(mutex);
    while (!data.empty()) {
      changed.wait(lock, [&] { return bytes.size() < capacity; });
      const size_t n = std::min(data.size(), capacity - bytes.size());
      bytes.append(data.substr(0, n));
      data.remove_prefix(n);
      changed.notify_all();
    }
  }
  void CloseWriter() {
    std::lock_guard lock(mutex);
    writerClosed = --writers == 0;
    changed.notify_all();
  }
  size_t Read(char* out, size_t size) {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return !bytes.empty() || writerClosed; });
    const size_t n = std::min(size, bytes.size());
    bytes.copy(out, n);
    bytes.erase(0, n);
    changed.notify_all();
    return n;
  }
};

struct FakeSystem {
  bool elevated = false;
  BatchEnvironmentFacts facts = Facts();
  std::u16string tempDir = u"C:\\Temp\\";
  std::u16string dataFolder = u"C:\\ProgramData\\Quarnfeld Optimizer\\";
  std::vector<uint64_t> randoms = {0xabc};    // consumed front to back; the last one repeats
  std::vector<bool> createDirectoryResults;   // consumed front to back; true afterwards
  std::map<std::u16string, EntryKind> kinds;  // anything else: ".bat" a file, the rest folders
  std::vector<CreateStatus> createResults;    // consumed front to back; Created afterwards
  bool tamperIdentity = false;
  bool tamperContent = false;
  bool lockFails = false;
  bool pipeFails = false;
  platform::Handle process = 77;
  // The batch: what it prints, how it ends.
  std::string output;
  uint32_t exitCode = 0;
  bool hangs = false;  // runs until its tree is ended
  bool treeEnds = true;

  std::mutex eventsMutex;
  std::vector<std::string> events;
  std::vector<std::u16string> createdPaths;
  std::string writtenContent;
  platform::ProcessStart started;
  bool createdElevated = false;
  uint32_t timeoutSeen = 0;
  FakePipe pipe;
  std::thread batch;
  std::mutex stateMutex;
  std::condition_variable stateChanged;
  bool exited = false;
  bool ended = false;
  bool endTried = false;

  void Event(std::string e) {
    std::lock_guard lock(eventsMutex);
    events.push_back(std::move(e));
  }

  BatchSystem Ops() {
    BatchSystem s;
    s.isElevated = [this] { return elevated; };
    s.environmentFacts = [this] { return facts; };
    s.temporaryDirectory = [this] {
      Event("tempdir");
      return tempDir;
    };
    s.administratorsDataFolder = [this] {
      Event("data folder");
      return dataFolder;
    };
    s.randomNumber = [this] {
      const uint64_t n = randoms.front();
      if (randoms.size() > 1) randoms.erase(randoms.begin());
      return n;
    };
    s.currentProcessId = [] { return 4312u; };
    s.createAdministratorsOnlyDirectory = [this](const std::u16string& path) {
      Event("mkdir " + Utf16ToUtf8(path));
      if (createDirectoryResults.empty()) return true;
      const bool result = createDirectoryResults.front();
      createDirectoryResults.erase(createDirectoryResults.begin());
      return result;
    };
    s.removeEmptyDirectory = [this](const std::u16string& path) { Event("rmdir " + Utf16ToUtf8(path)); };
    s.kindOfEntry = [this](const std::u16string& path) {
      const auto found = kinds.find(path);
      if (found != kinds.end()) return found->second;
      return path.ends_with(u".bat") ? EntryKind::File : EntryKind::Directory;
    };
    s.createNewFile = [this](const std::u16string& path, std::string_view content, bool adminsOnly) {
      Event("create " + Utf16ToUtf8(path));
      createdPaths.push_back(path);
      createdElevated = adminsOnly;
      CreateStatus status = CreateStatus::Created;
      if (!createResults.empty()) {
        status = createResults.front();
        createResults.erase(createResults.begin());
      }
      if (status == CreateStatus::Created) writtenContent = content;
      return platform::CreatedFile{status, {1, 42}};
    };
    s.openLockedForReading = [this](const std::u16string&, size_t maxBytes) {
      Event("lock");
      if (lockFails) return platform::LockedFile{};
      platform::LockedFile f{5, {1, tamperIdentity ? 43u : 42u}, writtenContent};
      if (tamperContent) f.content += "calc.exe\r\n";
      if (f.content.size() > maxBytes) f.content.resize(maxBytes);
      return f;
    };
    s.closeFile = [this](platform::Handle h) {
      Event("close " + std::to_string(h));
      if (h == 12) pipe.CloseWriter();
    };
    s.deleteFile = [this](const std::u16string& path) { Event("delete " + Utf16ToUtf8(path)); };
    s.createOutputPipe = [this] {
      Event("pipe");
      pipe.Open();
      return pipeFails ? platform::OutputPipe{} : platform::OutputPipe{11, 12};
    };
    s.readOutput = [this](platform::Handle h, char* buffer, size_t size) {
      EXPECT_EQ(h, 11u);
      return pipe.Read(buffer, size);
    };
    s.startHiddenProcess = [this](const platform::ProcessStart& start) {
      Event("start");
      started = start;
      if (process == 0) return platform::StartedProcess{};
      {
        std::lock_guard lock(stateMutex);
        exited = ended = endTried = false;
      }
      pipe.AddWriter();
      batch = std::thread([this] {
        pipe.Write(output);
        std::unique_lock lock(stateMutex);
        if (hangs) stateChanged.wait(lock, [this] { return ended; });
        exited = true;
        pipe.CloseWriter();
        stateChanged.notify_all();
      });
      return platform::StartedProcess{process, 88};
    };
    s.waitForProcess = [this](platform::Handle h, uint32_t timeoutMs) {
      Event("wait");
      EXPECT_EQ(h, process);
      timeoutSeen = timeoutMs;
      std::unique_lock lock(stateMutex);
      if (!stateChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return exited; })) {
        return platform::ProcessWait{platform::WaitResult::TimedOut, 0};
      }
      return platform::ProcessWait{platform::WaitResult::Exited, exitCode};
    };
    s.endProcessTree = [this](const platform::StartedProcess& p) {
      Event("end tree " + std::to_string(p.job));
      std::unique_lock lock(stateMutex);
      endTried = true;
      stateChanged.notify_all();
      if (!treeEnds) return false;
      ended = true;
      stateChanged.notify_all();
      stateChanged.wait(lock, [this] { return exited; });
      return true;
    };
    s.releaseProcess = [this](const platform::StartedProcess& p) {
      Event("release " + std::to_string(p.process));
      if (batch.joinable()) batch.join();
    };
    return s;
  }

  ~FakeSystem() {
    if (batch.joinable()) {
      {
        std::lock_guard lock(stateMutex);
        ended = true;
        stateChanged.notify_all();
      }
      batch.join();
    }
  }
};

// The environment block as NAME -> value, and its names in order.
std::map<std::u16string, std::u16string> Variables(const std::u16string& block, std::vector<std::u16string>* names) {
  std::map<std::u16string, std::u16string> out;
  for (size_t at = 0; at < block.size();) {
    const size_t end = block.find(u'\0', at);
    const std::u16string entry = block.substr(at, end - at);
    const size_t eq = entry.find(u'=');
    out[entry.substr(0, eq)] = entry.substr(eq + 1);
    if (names) names->push_back(entry.substr(0, eq));
    at = end + 1;
  }
  return out;
}

class BatchRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override { g_batchFileCounter = 0; }
  BatchResult Run(const char* script, uint32_t timeoutMs = 5000) {
    return RunBatchScriptWith(fake.Ops(), script, timeoutMs);
  }
  bool Succeeds(const char* script) { return Run(script).outcome == BatchOutcome::Succeeded; }
  bool Started() const { return std::count(fake.events.begin(), fake.events.end(), "start") > 0; }
  FakeSystem fake;
};

TEST_F(BatchRunnerTest, EmptyScriptIsRefusedWithoutAnySystemCall) {
  EXPECT_EQ(Run(nullptr).outcome, BatchOutcome::NotStarted);
  EXPECT_EQ(Run("").outcome, BatchOutcome::NotStarted);
  EXPECT_TRUE(fake.events.empty());
  EXPECT_EQ(g_batchFileCounter.load(), 0u);
}

TEST_F(BatchRunnerTest, MissingFoldersFailBeforeNaming) {
  fake.tempDir.clear();
  EXPECT_EQ(Run("echo hi\n").outcome, BatchOutcome::NotStarted);
  EXPECT_EQ(fake.events, (std::vector<std::string>{"tempdir"}));
  // Without the machine's own folders there is no environment to build.
  fake.events.clear();
  fake.facts.folders.profile.clear();
  EXPECT_EQ(Run("echo hi\n").outcome, BatchOutcome::NotStarted);
  EXPECT_TRUE(fake.events.empty());
  EXPECT_EQ(g_batchFileCounter.load(), 0u);
}

TEST_F(BatchRunnerTest, SuccessfulRunStartsTheSystemCmdAndCleansUpInOrder) {
  fake.output = "step done\r\n";
  const BatchResult result = Run("echo hi\n", 1234);
  EXPECT_EQ(result.outcome, BatchOutcome::Succeeded);
  EXPECT_EQ(result.output, "step done\n");
  EXPECT_EQ(fake.writtenContent, std::string(kBatchHeader) + "echo hi\n" + kBatchFooter);
  EXPECT_EQ(fake.writtenContent.substr(0, 81),
            "@echo off\r\nsetlocal EnableDelayedExpansion\r\nset \"LOG=NUL\"\r\nchcp 65001 >nul 2>&1\r\n");
  // By its full path, without AutoRun commands, from the system folder, its
  // output into the runner's pipe.
  EXPECT_EQ(fake.started.application, u"C:\\Windows\\System32\\cmd.exe");
  EXPECT_EQ(fake.started.commandLine,
            u"\"C:\\Windows\\System32\\cmd.exe\" /D /S /C \"\"C:\\Temp\\quarnfeld_4312_1.bat\"\"");
  EXPECT_EQ(fake.started.currentDirectory, u"C:\\Windows\\System32");
  EXPECT_EQ(fake.started.output, 12u);
  EXPECT_EQ(fake.timeoutSeen, 1234u);
  // The file stays locked while the batch and all it started run; then the
  // pipe's ends and the process are let go, the file is closed and deleted.
  EXPECT_EQ(fake.events, (std::vector<std::string>{"tempdir", "create C:\\Temp\\quarnfeld_4312_1.bat", "lock", "pipe",
                                                   "start", "close 12", "wait", "end tree 88", "close 11", "release 77",
                                                   "close 5", "delete C:\\Temp\\quarnfeld_4312_1.bat"}));
}

TEST_F(BatchRunnerTest, ResultIsSuccessExactlyForExitCodeZero) {
  fake.exitCode = 3;
  const BatchResult failed = Run("exit /b 3\n");
  EXPECT_EQ(failed.outcome, BatchOutcome::Failed);
  EXPECT_EQ(failed.exitCode, 3u);
  EXPECT_EQ(FailureReasons(failed), (std::vector<std::string>{"exit code 3"}));
  fake.exitCode = 0;
  EXPECT_TRUE(Succeeds("x\n"));
  fake.process = 0;
  const BatchResult notStarted = Run("x\n");
  EXPECT_EQ(notStarted.outcome, BatchOutcome::NotStarted);
  EXPECT_EQ(FailureReasons(notStarted), (std::vector<std::string>{"could not start"}));
}

TEST_F(BatchRunnerTest, CounterNumbersFilesAcrossFailedRuns) {
  fake.process = 0;  // start fails, after naming
  EXPECT_FALSE(Succeeds("a\n"));
  fake.process = 77;
  fake.exitCode = 1;
  EXPECT_FALSE(Succeeds("b\n"));
  ASSERT_EQ(fake.createdPaths.size(), 2u);
  EXPECT_EQ(fake.createdPaths[0], u"C:\\Temp\\quarnfeld_4312_1.bat");
  EXPECT_EQ(fake.createdPaths[1], u"C:\\Temp\\quarnfeld_4312_2.bat");
}

TEST_F(BatchRunnerTest, FailedStartDeletesTheFile) {
  fake.process = 0;
  EXPECT_FALSE(Succeeds("a\n"));
  EXPECT_EQ(fake.events.back(), "delete C:\\Temp\\quarnfeld_4312_1.bat");
  EXPECT_EQ(fake.events[fake.events.size() - 2], "close 5");
  // Nothing was started, so nothing is waited for or ended.
  for (const auto& e : fake.events) EXPECT_TRUE(e != "wait" && e.rfind("end tree", 0) != 0) << e;
}

TEST_F(BatchRunnerTest, MissingPipeStartsNothing) {
  fake.pipeFails = true;
  EXPECT_EQ(Run("a\n").outcome, BatchOutcome::NotStarted);
  EXPECT_FALSE(Started());
  EXPECT_EQ(fake.events.back(), "delete C:\\Temp\\quarnfeld_4312_1.bat");
}

TEST_F(BatchRunnerTest, TakenNameMovesToTheNextCounterValue) {
  fake.createResults = {CreateStatus::NameTaken, CreateStatus::NameTaken};
  EXPECT_TRUE(Succeeds("a\n"));
  ASSERT_EQ(fake.createdPaths.size(), 3u);
  EXPECT_EQ(fake.createdPaths[2], u"C:\\Temp\\quarnfeld_4312_3.bat");
  EXPECT_EQ(fake.started.commandLine,
            u"\"C:\\Windows\\System32\\cmd.exe\" /D /S /C \"\"C:\\Temp\\quarnfeld_4312_3.bat\"\"");
}

TEST_F(BatchRunnerTest, GivesUpAfterBoundedNameAttemptsWithoutRunning) {
  fake.createResults.assign(kBatchNameAttempts, CreateStatus::NameTaken);
  EXPECT_FALSE(Succeeds("a\n"));
  EXPECT_EQ(fake.createdPaths.size(), static_cast<size_t>(kBatchNameAttempts));
  for (const auto& e : fake.events) EXPECT_TRUE(e.rfind("create", 0) == 0 || e == "tempdir") << e;
}

TEST_F(BatchRunnerTest, CreationFailureRunsAndDeletesNothing) {
  fake.createResults = {CreateStatus::Failed};
  EXPECT_FALSE(Succeeds("a\n"));
  EXPECT_EQ(fake.events.size(), 2u);
  EXPECT_EQ(g_batchFileCounter.load(), 1u);
}

TEST_F(BatchRunnerTest, SwappedFileIsNeitherRunNorDeleted) {
  fake.tamperIdentity = true;
  EXPECT_FALSE(Succeeds("a\n"));
  EXPECT_EQ(fake.events.back(), "close 5");
  EXPECT_FALSE(Started());
}

TEST_F(BatchRunnerTest, RewrittenFileIsNotRunAndIsDeleted) {
  fake.tamperContent = true;
  EXPECT_FALSE(Succeeds("a\n"));
  EXPECT_EQ(fake.events.back(), "delete C:\\Temp\\quarnfeld_4312_1.bat");
  EXPECT_FALSE(Started());
}

TEST_F(BatchRunnerTest, FileThatCannotBeReopenedIsDeletedAndNotRun) {
  fake.lockFails = true;
  EXPECT_FALSE(Succeeds("a\n"));
  EXPECT_EQ(fake.events.back(), "delete C:\\Temp\\quarnfeld_4312_1.bat");
  EXPECT_FALSE(Started());
}

TEST_F(BatchRunnerTest, PathThatDoesNotFitRunsNothing) {
  fake.tempDir = u"C:\\" + std::u16string(240, u'd') + u"\\";  // 244 + "quarnfeld_4312_1.bat" > 259
  EXPECT_FALSE(Succeeds("a\n"));
  EXPECT_EQ(fake.events, (std::vector<std::string>{"tempdir"}));
  fake.tempDir = u"C:\\" + std::u16string(234, u'd') + u"\\";  // exactly 259 units
  fake.events.clear();
  g_batchFileCounter = 0;
  EXPECT_TRUE(Succeeds("a\n"));
}

TEST_F(BatchRunnerTest, ElevatedBatchGetsAFolderOfItsOwnUnderTheDataFolder) {
  fake.elevated = true;
  fake.randoms = {0x1, 0x2f};
  fake.createDirectoryResults = {false};  // the first random name is taken
  EXPECT_TRUE(Succeeds("a\n"));
  EXPECT_TRUE(fake.createdElevated);
  const std::string run = "C:\\ProgramData\\Quarnfeld Optimizer\\run-000000000000002f";
  EXPECT_EQ(fake.events,
            (std::vector<std::string>{"data folder", "mkdir C:\\ProgramData\\Quarnfeld Optimizer\\run-0000000000000001",
                                      "mkdir " + run, "create " + run + "\\quarnfeld_4312_1.bat", "lock", "pipe",
                                      "start", "close 12", "wait", "end tree 88", "close 11", "release 77", "close 5",
                                      "delete " + run + "\\quarnfeld_4312_1.bat", "rmdir " + run}));
  // Without a trusted data folder nothing is created at all.
  fake.dataFolder.clear();
  fake.events.clear();
  EXPECT_EQ(Run("a\n").outcome, BatchOutcome::NotStarted);
  EXPECT_EQ(fake.events, (std::vector<std::string>{"data folder"}));
}

TEST_F(BatchRunnerTest, ElevatedPathThroughALinkIsNotHandedToCmd) {
  fake.elevated = true;
  const std::u16string run = u"C:\\ProgramData\\Quarnfeld Optimizer\\run-0000000000000abc";
  for (int depth = 0; depth < 4; ++depth) {
    const std::u16string file = run + u"\\quarnfeld_4312_" + Utf8ToUtf16(std::to_string(depth + 1)) + u".bat";
    const std::u16string link[] = {u"C:\\ProgramData", u"C:\\ProgramData\\Quarnfeld Optimizer", run, file};
    fake.kinds = {{link[depth], EntryKind::Link}};
    fake.events.clear();
    EXPECT_EQ(Run("a\n").outcome, BatchOutcome::NotStarted) << depth;
    EXPECT_FALSE(Started()) << depth;
    EXPECT_EQ(fake.events.back(), "rmdir " + Utf16ToUtf8(run));
    EXPECT_EQ(fake.events[fake.events.size() - 2], "delete " + Utf16ToUtf8(file));
  }
  // Unelevated there is no boundary to defend: the user's own links count.
  fake.elevated = false;
  fake.kinds = {{u"C:\\Temp", EntryKind::Link}};
  EXPECT_TRUE(Succeeds("a\n"));
}

TEST_F(BatchRunnerTest, EnvironmentIsBuiltFromTheMachineNotInherited) {
  fake.elevated = true;
  EXPECT_TRUE(Succeeds("a\n"));
  std::vector<std::u16string> names;
  const auto vars = Variables(fake.started.environment, &names);
  EXPECT_EQ(vars.at(u"Path"),
            u"C:\\Windows\\System32;C:\\Windows;C:\\Windows\\System32\\Wbem;"
            u"C:\\Windows\\System32\\WindowsPowerShell\\v1.0\\");
  EXPECT_EQ(vars.at(u"ComSpec"), u"C:\\Windows\\System32\\cmd.exe");
  EXPECT_EQ(vars.at(u"NoDefaultCurrentDirectoryInExePath"), u"1");
  EXPECT_EQ(vars.at(u"TEMP"), u"C:\\Users\\ann\\AppData\\Local\\Temp");
  EXPECT_EQ(vars.at(u"TMP"), vars.at(u"TEMP"));
  EXPECT_EQ(vars.at(u"LOCALAPPDATA"), u"C:\\Users\\ann\\AppData\\Local");
  EXPECT_EQ(vars.at(u"APPDATA"), u"C:\\Users\\ann\\AppData\\Roaming");
  EXPECT_EQ(vars.at(u"PSModulePath"),
            u"C:\\Program Files\\WindowsPowerShell\\Modules;C:\\Windows\\System32\\WindowsPowerShell\\v1.0\\Modules");
  EXPECT_EQ(vars.at(u"SystemDrive"), u"C:");
  EXPECT_EQ(vars.at(u"PROCESSOR_ARCHITECTURE"), u"AMD64");
  EXPECT_EQ(vars.size(), 27u);
  // Sorted by name without regard to case, as CreateProcess wants it.
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end(), [](const std::u16string& a, const std::u16string& b) {
    const auto upper = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; };
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [&](char16_t x, char16_t y) { return upper(x) < upper(y); });
  }));

  // A profile temp folder that is a junction (or missing) is not TEMP: the
  // batch's own empty folder is.
  for (const EntryKind kind : {EntryKind::Link, EntryKind::Missing, EntryKind::File}) {
    fake.kinds = {{u"C:\\Users\\ann\\AppData\\Local\\Temp", kind}};
    EXPECT_TRUE(Succeeds("a\n"));
    EXPECT_EQ(Variables(fake.started.environment, nullptr).at(u"TEMP"),
              u"C:\\ProgramData\\Quarnfeld Optimizer\\run-0000000000000abc");
  }
}

TEST_F(BatchRunnerTest, TimeOutEndsTheTreeBeforeTheFileIsReleased) {
  fake.hangs = true;
  fake.output = "Step 1 done\r\nstill working\r\n";
  const BatchResult result = Run("ping -n 999 127.0.0.1\n", 50);
  EXPECT_EQ(result.timeoutMs, 50u);
  EXPECT_EQ(result.outcome, BatchOutcome::TimedOut);
  EXPECT_EQ(result.output, "Step 1 done\nstill working\n");  // what it printed before is kept
  EXPECT_EQ(FailureReasons(result), (std::vector<std::string>{"timed out after 50 ms"}));
  const auto at = [&](const std::string& e) { return std::find(fake.events.begin(), fake.events.end(), e); };
  EXPECT_LT(at("wait"), at("end tree 88"));
  EXPECT_LT(at("end tree 88"), at("close 5"));
  EXPECT_LT(at("close 5"), at("delete C:\\Temp\\quarnfeld_4312_1.bat"));
}

TEST_F(BatchRunnerTest, TreeThatCannotBeEndedKeepsItsFileHeldAndInPlace) {
  fake.hangs = true;
  fake.treeEnds = false;
  std::thread endLater([&] {
    // The tree ends on its own after the runner failed to end it; the runner
    // waits for the pipe's end, and still never lets the file go.
    std::unique_lock lock(fake.stateMutex);
    fake.stateChanged.wait(lock, [&] { return fake.endTried; });
    fake.ended = true;
    fake.stateChanged.notify_all();
  });
  EXPECT_EQ(Run("x\n", 20).outcome, BatchOutcome::TimedOut);
  endLater.join();
  for (const auto& e : fake.events) EXPECT_TRUE(e != "close 5" && e.rfind("delete", 0) != 0) << e;
}

TEST_F(BatchRunnerTest, OutputBiggerThanThePipeIsReadWhileTheBatchRuns) {
  // 1 MB through a 4 KiB pipe: the batch could not finish if nobody read
  // until it ended (its wait would run out instead).
  std::string megabyte;
  for (int i = 0; megabyte.size() < (1 << 20); ++i) megabyte += "line " + std::to_string(i) + "\r\n";
  fake.output = megabyte;
  const BatchResult result = Run("x\n", 20000);
  ASSERT_EQ(result.outcome, BatchOutcome::Succeeded);
  EXPECT_EQ(result.cutBytes, megabyte.size() - kOutputKeepBytes);
  const std::string note = "[" + std::to_string(result.cutBytes) + " bytes of earlier output cut]\n";
  ASSERT_EQ(result.output.substr(0, note.size()), note);
  std::string tail = megabyte.substr(megabyte.size() - kOutputKeepBytes);
  tail.erase(std::remove(tail.begin(), tail.end(), '\r'), tail.end());
  EXPECT_EQ(result.output.substr(note.size()), tail);
}

TEST_F(BatchRunnerTest, InvalidBytesBecomeReplacementCharacters) {
  fake.output = "ok \xD0\x9F\r\nbad \xFF\xC3 end\r\n\x80";
  const BatchResult result = Run("x\n");
  EXPECT_EQ(result.output, "ok \xD0\x9F\nbad \xEF\xBF\xBD\xEF\xBF\xBD end\n\xEF\xBF\xBD");
  EXPECT_EQ(result.cutBytes, 0u);
}

}  // namespace
