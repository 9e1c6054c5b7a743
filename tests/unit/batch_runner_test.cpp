// The batch runner's decisions, over scripted system operations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/json_text.h"
#include "run/batch_runner.h"
#include "run/batch_runner_internal.h"

namespace {

using platform::CreateStatus;

struct FakeSystem {
  std::u16string tempDir = u"C:\\Temp\\";
  bool elevated = false;
  std::vector<CreateStatus> createResults;  // consumed front to back; Created afterwards
  bool tamperIdentity = false;
  bool tamperContent = false;
  bool lockFails = false;
  platform::Handle process = 77;
  std::optional<uint32_t> exitCode = 0u;

  std::vector<std::string> events;
  std::vector<std::u16string> createdPaths;
  std::string writtenContent;
  std::u16string commandLine;
  bool createdElevated = false;
  uint32_t timeoutSeen = 0;

  BatchSystem Ops() {
    BatchSystem s;
    s.temporaryDirectory = [this] {
      events.push_back("tempdir");
      return tempDir;
    };
    s.currentProcessId = [] { return 4312u; };
    s.isElevated = [this] { return elevated; };
    s.createNewFile = [this](const std::u16string& path, std::string_view content, bool adminsOnly) {
      events.push_back("create " + Utf16ToUtf8(path));
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
      events.push_back("lock");
      if (lockFails) return platform::LockedFile{};
      platform::LockedFile f{5, {1, tamperIdentity ? 43u : 42u}, writtenContent};
      if (tamperContent) f.content += "calc.exe\r\n";
      if (f.content.size() > maxBytes) f.content.resize(maxBytes);
      return f;
    };
    s.closeFile = [this](platform::Handle h) { events.push_back("close " + std::to_string(h)); };
    s.deleteFile = [this](const std::u16string& path) { events.push_back("delete " + Utf16ToUtf8(path)); };
    s.startHiddenProcess = [this](const std::u16string& line) {
      events.push_back("start");
      commandLine = line;
      return process;
    };
    s.waitAndClose = [this](platform::Handle, uint32_t timeoutMs) {
      events.push_back("wait");
      timeoutSeen = timeoutMs;
      return exitCode;
    };
    return s;
  }
};

class BatchRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override { g_batchFileCounter = 0; }
  bool Run(const char* script, uint32_t timeoutMs = 1000) { return RunBatchScriptWith(fake.Ops(), script, timeoutMs); }
  FakeSystem fake;
};

TEST_F(BatchRunnerTest, EmptyScriptIsRefusedWithoutAnySystemCall) {
  EXPECT_FALSE(Run(nullptr));
  EXPECT_FALSE(Run(""));
  EXPECT_TRUE(fake.events.empty());
  EXPECT_EQ(g_batchFileCounter.load(), 0u);
}

TEST_F(BatchRunnerTest, MissingTemporaryFolderFailsBeforeNaming) {
  fake.tempDir.clear();
  EXPECT_FALSE(Run("echo hi\n"));
  EXPECT_EQ(fake.events, (std::vector<std::string>{"tempdir"}));
  EXPECT_EQ(g_batchFileCounter.load(), 0u);
}

TEST_F(BatchRunnerTest, SuccessfulRunWritesFramedScriptAndCleansUpInOrder) {
  EXPECT_TRUE(Run("echo hi\n", 1234));
  EXPECT_EQ(fake.writtenContent, std::string(kBatchHeader) + "echo hi\n" + kBatchFooter);
  EXPECT_EQ(fake.writtenContent.substr(0, 81),
            "@echo off\r\nsetlocal EnableDelayedExpansion\r\nset \"LOG=NUL\"\r\nchcp 65001 >nul 2>&1\r\n");
  EXPECT_EQ(fake.commandLine, u"cmd.exe /S /C \"\"C:\\Temp\\quarnfeld_4312_1.bat\"\"");
  EXPECT_EQ(fake.timeoutSeen, 1234u);
  // The file stays locked while the batch runs; it is closed, then deleted.
  EXPECT_EQ(fake.events, (std::vector<std::string>{"tempdir", "create C:\\Temp\\quarnfeld_4312_1.bat", "lock", "start",
                                                   "wait", "close 5", "delete C:\\Temp\\quarnfeld_4312_1.bat"}));
}

TEST_F(BatchRunnerTest, ResultIsTrueExactlyForExitCodeZero) {
  fake.exitCode = 3u;
  EXPECT_FALSE(Run("exit /b 3\n"));
  fake.exitCode = 259u;  // still running when the wait ran out
  EXPECT_FALSE(Run("x\n"));
  fake.exitCode = std::nullopt;
  EXPECT_FALSE(Run("x\n"));
  fake.exitCode = 0u;
  EXPECT_TRUE(Run("x\n"));
}

TEST_F(BatchRunnerTest, CounterNumbersFilesAcrossFailedRuns) {
  fake.process = 0;  // start fails, after naming
  EXPECT_FALSE(Run("a\n"));
  fake.process = 77;
  fake.exitCode = 1u;
  EXPECT_FALSE(Run("b\n"));
  fake.exitCode = 0u;
  EXPECT_TRUE(Run("c\n"));
  ASSERT_EQ(fake.createdPaths.size(), 3u);
  EXPECT_EQ(fake.createdPaths[0], u"C:\\Temp\\quarnfeld_4312_1.bat");
  EXPECT_EQ(fake.createdPaths[2], u"C:\\Temp\\quarnfeld_4312_3.bat");
}

TEST_F(BatchRunnerTest, FailedStartDeletesTheFile) {
  fake.process = 0;
  EXPECT_FALSE(Run("a\n"));
  EXPECT_EQ(fake.events.back(), "delete C:\\Temp\\quarnfeld_4312_1.bat");
  EXPECT_EQ(fake.events[fake.events.size() - 2], "close 5");
}

TEST_F(BatchRunnerTest, TakenNameMovesToTheNextCounterValue) {
  fake.createResults = {CreateStatus::NameTaken, CreateStatus::NameTaken};
  EXPECT_TRUE(Run("a\n"));
  ASSERT_EQ(fake.createdPaths.size(), 3u);
  EXPECT_EQ(fake.createdPaths[2], u"C:\\Temp\\quarnfeld_4312_3.bat");
  EXPECT_EQ(fake.commandLine, u"cmd.exe /S /C \"\"C:\\Temp\\quarnfeld_4312_3.bat\"\"");
}

TEST_F(BatchRunnerTest, GivesUpAfterBoundedNameAttemptsWithoutRunning) {
  fake.createResults.assign(kBatchNameAttempts, CreateStatus::NameTaken);
  EXPECT_FALSE(Run("a\n"));
  EXPECT_EQ(fake.createdPaths.size(), static_cast<size_t>(kBatchNameAttempts));
  for (const auto& e : fake.events) EXPECT_TRUE(e.rfind("create", 0) == 0 || e == "tempdir") << e;
}

TEST_F(BatchRunnerTest, CreationFailureRunsAndDeletesNothing) {
  fake.createResults = {CreateStatus::Failed};
  EXPECT_FALSE(Run("a\n"));
  EXPECT_EQ(fake.events.size(), 2u);
  EXPECT_EQ(g_batchFileCounter.load(), 1u);
}

TEST_F(BatchRunnerTest, SwappedFileIsNeitherRunNorDeleted) {
  fake.tamperIdentity = true;
  EXPECT_FALSE(Run("a\n"));
  EXPECT_EQ(fake.events.back(), "close 5");
  for (const auto& e : fake.events) EXPECT_NE(e, "start");
}

TEST_F(BatchRunnerTest, RewrittenFileIsNotRunAndIsDeleted) {
  fake.tamperContent = true;
  EXPECT_FALSE(Run("a\n"));
  EXPECT_EQ(fake.events.back(), "delete C:\\Temp\\quarnfeld_4312_1.bat");
  for (const auto& e : fake.events) EXPECT_NE(e, "start");
}

TEST_F(BatchRunnerTest, FileThatCannotBeReopenedIsDeletedAndNotRun) {
  fake.lockFails = true;
  EXPECT_FALSE(Run("a\n"));
  EXPECT_EQ(fake.events.back(), "delete C:\\Temp\\quarnfeld_4312_1.bat");
  for (const auto& e : fake.events) EXPECT_NE(e, "start");
}

TEST_F(BatchRunnerTest, ElevatedRunsAskForAnAdministratorsOnlyFile) {
  EXPECT_TRUE(Run("a\n"));
  EXPECT_FALSE(fake.createdElevated);
  fake.elevated = true;
  EXPECT_TRUE(Run("a\n"));
  EXPECT_TRUE(fake.createdElevated);
}

TEST_F(BatchRunnerTest, PathThatDoesNotFitRunsNothing) {
  fake.tempDir = u"C:\\" + std::u16string(240, u'd') + u"\\";  // 244 + "quarnfeld_4312_1.bat" > 259
  EXPECT_FALSE(Run("a\n"));
  EXPECT_EQ(fake.events, (std::vector<std::string>{"tempdir"}));
  fake.tempDir = u"C:\\" + std::u16string(234, u'd') + u"\\";  // exactly 259 units
  fake.events.clear();
  g_batchFileCounter = 0;
  EXPECT_TRUE(Run("a\n"));
}

}  // namespace
