// The batch runner with the real Win32 layer and the real cmd.exe (under Wine).
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>

#include "protocol/json_text.h"
#include "run/batch_runner.h"
#include "run/batch_runner_internal.h"

namespace {

std::string Narrow(const std::wstring& w) { return Utf16ToUtf8(std::u16string(w.begin(), w.end())); }

std::wstring TempDir() {
  wchar_t buf[MAX_PATH];
  const DWORD n = GetTempPathW(MAX_PATH, buf);
  return std::wstring(buf, n);
}

// The path the runner will give its next batch file.
std::wstring NextBatchPath(uint32_t ahead = 1) {
  return TempDir() + L"quarnfeld_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
         std::to_wstring(g_batchFileCounter.load() + ahead) + L".bat";
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ReadAll(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool WaitFor(const std::function<bool()>& condition, int ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    Sleep(20);
  }
  return condition();
}

// A marker file the scripts write to show they ran.
struct Marker {
  std::wstring path = TempDir() + L"qf_marker_" + std::to_wstring(GetTickCount64()) + L".txt";
  ~Marker() { DeleteFileW(path.c_str()); }
  std::string Batch() const { return Narrow(path); }
};

TEST(BatchRunnerWin32, ExitCodeDecidesTheResult) {
  EXPECT_TRUE(RunBatchScript("echo hello >nul\n"));
  EXPECT_FALSE(RunBatchScript("echo leaving early\nexit /b 3\necho never\n"));
  // The last command fails, but the script runs through to the footer.
  EXPECT_TRUE(RunBatchScript("dir \"%TEMP%\\qf-no-such-folder\" >nul 2>&1\n"));
}

TEST(BatchRunnerWin32, ScriptWithoutFinalLineEndStillGetsTheFooterOnItsOwnLine) {
  // Were the footer glued to this line, "rem" would swallow it and the batch
  // would end with the 3 of the child cmd.
  EXPECT_TRUE(RunBatchScript("cmd /c exit 3 & rem"));
}

TEST(BatchRunnerWin32, WrapperEnablesDelayedExpansionAndDiscardsLog) {
  EXPECT_TRUE(
      RunBatchScript("set \"V=ok\"\n"
                     "if not \"!V!\"==\"ok\" exit /b 7\n"
                     "if /i not \"%LOG%\"==\"NUL\" exit /b 8\n"
                     "echo discarded>> \"%LOG%\"\n"));
}

TEST(BatchRunnerWin32, BatchFileIsGoneAfterRunsAndAfterAFailedStart) {
  const std::wstring first = NextBatchPath();
  EXPECT_TRUE(RunBatchScript("echo x >nul\n"));
  EXPECT_FALSE(Exists(first));

  BatchSystem noCmd = SystemBatchOperations();
  noCmd.startHiddenProcess = [](const std::u16string&) {
    return platform::StartHiddenProcess(u"qf-no-such-program-7f3a.exe");
  };
  const std::wstring second = NextBatchPath();
  EXPECT_FALSE(RunBatchScriptWith(noCmd, "echo x\n", 5000));
  EXPECT_FALSE(Exists(second));
}

TEST(BatchRunnerWin32, ScriptOutlivingTheWaitFailsAndGoesOnRunning) {
  Marker marker;
  const std::string script = "ping -n 3 127.0.0.1 >nul & echo done> \"" + marker.Batch() + "\"\n";
  EXPECT_FALSE(RunBatchScriptWith(SystemBatchOperations(), script.c_str(), 200));
  // The runner returned while the batch was still waiting.
  EXPECT_FALSE(Exists(marker.path));
  EXPECT_TRUE(WaitFor([&] { return Exists(marker.path); }, 10000)) << "the batch was stopped";
}

TEST(BatchRunnerWin32, TemporaryFolderWithAwkwardCharactersWorks) {
  const std::wstring dir = TempDir() + L"qf dir & ^ %QF_UNSET% !x! \u043f\u0430\u043f\u043a\u0430\\";
  ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  wchar_t oldTmp[MAX_PATH], oldTemp[MAX_PATH];
  GetEnvironmentVariableW(L"TMP", oldTmp, MAX_PATH);
  GetEnvironmentVariableW(L"TEMP", oldTemp, MAX_PATH);
  SetEnvironmentVariableW(L"TMP", dir.c_str());
  SetEnvironmentVariableW(L"TEMP", dir.c_str());
  const std::wstring batch = NextBatchPath();
  const bool ran = RunBatchScript("cmd /c exit 0\n");
  const bool failed = RunBatchScript("exit /b 2\n");
  SetEnvironmentVariableW(L"TMP", oldTmp);
  SetEnvironmentVariableW(L"TEMP", oldTemp);
  EXPECT_EQ(batch.substr(0, dir.size()), dir);
  EXPECT_TRUE(ran);
  EXPECT_FALSE(failed);
  EXPECT_FALSE(Exists(batch));
  EXPECT_TRUE(RemoveDirectoryW(dir.c_str())) << "a batch file was left behind";
}

TEST(BatchRunnerWin32, RunningBatchFileCannotBeWrittenDeletedOrRenamed) {
  const std::wstring path = NextBatchPath();
  bool result = false;
  std::thread run([&] { result = RunBatchScript("ping -n 3 127.0.0.1 >nul\nexit /b 4\n"); });
  ASSERT_TRUE(WaitFor([&] { return Exists(path); }, 5000));
  Sleep(200);  // past creation: the runner now holds its read-only lock
  const std::string before = ReadAll(path);

  HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
  EXPECT_FALSE(DeleteFileW(path.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(MoveFileW(path.c_str(), (path + L".moved").c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

  // Another process fares no better.
  const std::wstring attack = L"cmd.exe /c \"echo calc.exe>> \"" + path + L"\"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::wstring line = attack;
  ASSERT_TRUE(
      CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi));
  WaitForSingleObject(pi.hProcess, 10000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  EXPECT_EQ(ReadAll(path), before);

  run.join();
  EXPECT_FALSE(result);  // the batch ran to its own "exit /b 4"
  EXPECT_FALSE(Exists(path));
  EXPECT_FALSE(Exists(path + L".moved"));
}

TEST(BatchRunnerWin32, PreparedFileUnderTheNextNameIsNeverOpenedOrRun) {
  Marker marker;
  const std::wstring trap = NextBatchPath();
  const std::string trapContent = "@echo pwned> \"" + marker.Batch() + "\"\r\n";
  {
    std::ofstream out(std::filesystem::path(trap), std::ios::binary);
    out << trapContent;
  }
  const uint32_t before = g_batchFileCounter.load();
  EXPECT_TRUE(RunBatchScript("echo fine >nul\n"));
  EXPECT_EQ(g_batchFileCounter.load(), before + 2);
  EXPECT_FALSE(Exists(marker.path));
  EXPECT_EQ(ReadAll(trap), trapContent);
  DeleteFileW(trap.c_str());
}

}  // namespace
