// The batch runner with the real Win32 layer and the real cmd.exe (under Wine,
// whose process counts as elevated: RunBatchScript takes the elevated road;
// the cases that watch the file under a name known beforehand take the
// unelevated one, in the temporary folder).
#include <windows.h>
// After windows.h:
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>

#include "catalogue/catalogue.h"
#include "catalogue/tweak_index.h"
#include "platform/data_folder.h"
#include "protocol/json_text.h"
#include "run/batch_runner.h"
#include "run/batch_runner_internal.h"
#include "run/optimize_run.h"
#include "run/tweak_output.h"
#include "tests/unit/run_messages.h"

namespace {

std::string Narrow(const std::wstring& w) { return Utf16ToUtf8(std::u16string(w.begin(), w.end())); }

std::wstring TempDir() {
  wchar_t buf[MAX_PATH];
  const DWORD n = GetTempPathW(MAX_PATH, buf);
  return std::wstring(buf, n);
}

// The runner's real operations on the unelevated road.
BatchSystem Unelevated() {
  BatchSystem system = SystemBatchOperations();
  system.isElevated = [] { return false; };
  return system;
}

bool Succeeded(const BatchResult& result) { return result.outcome == BatchOutcome::Succeeded; }
bool RunUnelevated(const char* script) { return Succeeded(RunBatchScriptWith(Unelevated(), script, kScriptTimeoutMs)); }

std::wstring Wide(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }

std::wstring DataFolder() { return Wide(platform::AdministratorsDataFolder()); }

// The entries of a folder whose names begin with `prefix`.
std::vector<std::wstring> Entries(const std::wstring& folder, const std::wstring& prefix) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + prefix + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    names.push_back(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::erase_if(names, [](const std::wstring& name) { return name == L"." || name == L".."; });
  return names;
}

// How many processes of this image name are running.
int Running(const wchar_t* image) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    count += _wcsicmp(entry.szExeFile, image) == 0 ? 1 : 0;
  }
  CloseHandle(snapshot);
  return count;
}

std::wstring ThisFolder() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, n);
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

// The path the runner will give its next batch file on the unelevated road.
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
  EXPECT_TRUE(Succeeded(RunBatchScript("echo hello >nul\n")));
  const BatchResult early = RunBatchScript("echo leaving early\nexit /b 3\necho never\n");
  EXPECT_EQ(early.outcome, BatchOutcome::Failed);
  EXPECT_EQ(early.exitCode, 3u);
  EXPECT_EQ(early.output, "leaving early\n");
  // The last command fails, but the script runs through to the footer.
  EXPECT_TRUE(Succeeded(RunBatchScript("dir \"%TEMP%\\qf-no-such-folder\" >nul 2>&1\n")));
}

TEST(BatchRunnerWin32, ScriptWithoutFinalLineEndStillGetsTheFooterOnItsOwnLine) {
  // Were the footer glued to this line, "rem" would swallow it and the batch
  // would end with the 3 of the child cmd.
  EXPECT_TRUE(Succeeded(RunBatchScript("cmd /c exit 3 & rem")));
}

TEST(BatchRunnerWin32, WrapperEnablesDelayedExpansionAndDiscardsLog) {
  EXPECT_TRUE(
      Succeeded(RunBatchScript("set \"V=ok\"\n"
                               "if not \"!V!\"==\"ok\" exit /b 7\n"
                               "if /i not \"%LOG%\"==\"NUL\" exit /b 8\n"
                               "echo discarded>> \"%LOG%\"\n")));
}

TEST(BatchRunnerWin32, BatchFileIsGoneAfterRunsAndAfterAFailedStart) {
  const std::wstring first = NextBatchPath();
  EXPECT_TRUE(RunUnelevated("echo x >nul\n"));
  EXPECT_FALSE(Exists(first));

  BatchSystem noCmd = Unelevated();
  noCmd.startHiddenProcess = [](const platform::ProcessStart& start) {
    platform::ProcessStart missing = start;
    missing.application = u"C:\\qf-no-such-program-7f3a.exe";
    return platform::StartHiddenProcess(missing);
  };
  const std::wstring second = NextBatchPath();
  EXPECT_EQ(RunBatchScriptWith(noCmd, "echo x\n", 5000).outcome, BatchOutcome::NotStarted);
  EXPECT_FALSE(Exists(second));
}

TEST(BatchRunnerWin32, ElevatedBatchRunsFromAFolderOfItsOwnThatIsGoneAfterwards) {
  const std::wstring data = DataFolder();
  ASSERT_FALSE(data.empty());
  const BatchResult result = RunBatchScript("echo %~dp0\necho %CD%\n");
  ASSERT_TRUE(Succeeded(result)) << result.output;
  const std::string folder = Narrow(data) + "run-";
  ASSERT_EQ(result.output.substr(0, folder.size()), folder) << result.output;
  // "run-" and sixteen hex digits, then the file's name; the current
  // directory is the system folder.
  EXPECT_EQ(result.output.find('\\', folder.size()), folder.size() + 16) << result.output;
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  const std::string currentDirectory = std::string("\n").append(Narrow(system)).append("\n");
  EXPECT_NE(result.output.find(currentDirectory), std::string::npos) << result.output;
  EXPECT_TRUE(Entries(data, L"run-").empty());
}

TEST(BatchRunnerWin32, BodyOutlivingAShortenedTimeOutLeavesNothingBehind) {
  Marker marker;
  const std::string script = "echo started\nping -n 30 127.0.0.1 >nul\necho done> \"" + marker.Batch() + "\"\n";
  ASSERT_EQ(Running(L"ping.exe"), 0);
  const auto start = std::chrono::steady_clock::now();
  const BatchResult result = RunBatchScriptWith(SystemBatchOperations(), script.c_str(), 1500);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(result.outcome, BatchOutcome::TimedOut);
  EXPECT_EQ(result.output, "started\n");
  // The tree ended with the wait: nothing of it is left, and its file and
  // folder are gone.
  EXPECT_EQ(Running(L"ping.exe"), 0);
  EXPECT_TRUE(Entries(DataFolder(), L"run-").empty());
  Sleep(3000);
  EXPECT_FALSE(Exists(marker.path)) << "the batch went on running";
}

TEST(BatchRunnerWin32, ProgramEndingMidRunEndsTheRunningBatch) {
  // The runner's process is ended from outside while its batch waits: the
  // job it closes that way ends the batch and all it started.
  const std::wstring body = TempDir() + L"qf_endless_" + std::to_wstring(GetTickCount64()) + L".txt";
  std::ofstream(std::filesystem::path(body), std::ios::binary) << "ping -n 60 127.0.0.1 >nul\r\n";
  ASSERT_EQ(Running(L"ping.exe"), 0);
  std::wstring line = L"\"" + ThisFolder() + L"run_batch_file.exe\" \"" + body + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(
      CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi));
  EXPECT_TRUE(WaitFor([] { return Running(L"ping.exe") == 1; }, 15000));
  TerminateProcess(pi.hProcess, 1);
  WaitForSingleObject(pi.hProcess, 10000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  EXPECT_TRUE(WaitFor([] { return Running(L"ping.exe") == 0; }, 10000)) << "the batch outlived the program";
  DeleteFileW(body.c_str());
  // What the ended program left in the administrators-only folder.
  const std::wstring data = DataFolder();
  for (const std::wstring& run : Entries(data, L"run-")) {
    for (const std::wstring& file : Entries(data + run + L"\\", L"")) DeleteFileW((data + run + L"\\" + file).c_str());
    RemoveDirectoryW((data + run).c_str());
  }
}

TEST(BatchRunnerWin32, FailingStepShowsItsErrorLineAfterFail) {
  g_catalogue = BuildCatalogue();
  UpdateTweakIndex(g_catalogue);
  CollectPageMessages();
  const ScriptRunner failingBody = [](const char*) {
    return RunBatchScript(
        "echo Skipping, no action needed\n"
        "reg delete \"HKCU\\Software\\QfNoSuchKey\" /f\n"
        "if errorlevel 1 exit /b 1\n");
  };
  OptimizeRunWith({1}, failingBody);
  const std::vector<std::string> messages = TakePageMessages();
  const auto failLine = std::find_if(messages.begin(), messages.end(),
                                     [](const std::string& m) { return m.find("[FAIL]") != std::string::npos; });
  ASSERT_NE(failLine, messages.end());
  ASSERT_NE(failLine + 1, messages.end());
  // The next line is the one reg printed (its words differ between Windows
  // and Wine), taken from the batch's output.
  const std::string prefix = "{\"type\":\"log\",\"level\":\"err\",\"text\":\"";
  const std::string reason = failLine[1];
  ASSERT_EQ(reason.rfind(prefix, 0), 0u) << reason;
  const std::string text = reason.substr(prefix.size(), reason.size() - prefix.size() - 2);
  EXPECT_NE(text.find("registry key"), std::string::npos) << text;
  const std::string output = LastRunOutput(1).value_or("");
  EXPECT_NE(output.find(text + "\n"), std::string::npos) << output;
  EXPECT_EQ(output.rfind("Skipping, no action needed\n", 0), 0u) << output;
}

TEST(BatchRunnerWin32, BodyPrintingAMegabyteFinishesAndIsReported) {
  // 4000 lines of 263 bytes: 1 MB, far more than the pipe holds (in long
  // lines, as Wine's cmd takes about a millisecond for each).
  const std::string text(250, 'x');
  const std::string body = "for /l %%i in (10001,1,14000) do echo line %%i " + text + "\n";
  const BatchResult result = RunBatchScript(body.c_str());
  ASSERT_TRUE(Succeeded(result));
  EXPECT_EQ(result.cutBytes, 4000u * 263 - kOutputKeepBytes);
  EXPECT_LE(result.output.size(), kOutputKeepBytes + 64);
  const std::string last = "line 14000 " + text + "\n";
  EXPECT_EQ(result.output.substr(result.output.size() - last.size()), last);
  const std::string note =
      std::string("[").append(std::to_string(result.cutBytes)).append(" bytes of earlier output cut]\n");
  EXPECT_EQ(result.output.rfind(note, 0), 0u);
}

TEST(BatchRunnerWin32, ProgramsPlantedBesideTheRunnerOrInItsCurrentDirectoryAreNotRun) {
  const std::wstring dir = TempDir() + L"qf plant " + std::to_wstring(GetTickCount64()) + L"\\";
  ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
  ASSERT_TRUE(CopyFileW((ThisFolder() + L"run_batch_file.exe").c_str(), (dir + L"run_batch_file.exe").c_str(), TRUE));
  for (const wchar_t* name : {L"cmd.exe", L"chcp.exe", L"reg.exe", L"powershell.exe"}) {
    ASSERT_TRUE(CopyFileW((ThisFolder() + L"planted_program.exe").c_str(), (dir + name).c_str(), TRUE));
  }
  for (const wchar_t* name : {L"chcp.bat", L"reg.bat", L"PowerShell.bat"}) {
    std::ofstream(std::filesystem::path(dir + name), std::ios::binary) << "@echo ran> \"%~f0.ran\"\r\n";
  }
  std::ofstream(std::filesystem::path(dir + L"body.txt"), std::ios::binary)
      << "reg add \"HKCU\\Software\\QuarnfeldPlantCheck\" /v Ran /t REG_SZ /d yes /f\r\n"
      << "PowerShell -NoProfile -NonInteractive -Command exit 0\r\n"
      << "cmd /c exit 0\r\n";
  constexpr size_t kPlanted = 9;  // the runner, seven plants, the body
  // Started with `dir` as its current directory.
  const auto start = [&](const std::wstring& line) {
    std::wstring writable = line;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, dir.c_str(), &si,
                        &pi)) {
      return DWORD{999};
    }
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = 998;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
  };
  EXPECT_EQ(start(L"\"" + dir + L"run_batch_file.exe\" \"" + dir + L"body.txt\""), 0u);
  EXPECT_EQ(Entries(dir, L"").size(), kPlanted) << "a planted program ran";
  HKEY written = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\QuarnfeldPlantCheck", 0, KEY_READ, &written), ERROR_SUCCESS)
      << "the system's reg.exe did not run";
  if (written) RegCloseKey(written);
  RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\QuarnfeldPlantCheck");
  // A plain search from that current directory finds a plant: the check
  // could fail.
  wchar_t before[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, before);
  SetCurrentDirectoryW(dir.c_str());
  start(L"reg.exe /?");
  SetCurrentDirectoryW(before);
  EXPECT_TRUE(Exists(dir + L"reg.exe.ran"));
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(dir), ignored);
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
  const bool ran = RunUnelevated("cmd /c exit 0\n");
  const bool failed = RunUnelevated("exit /b 2\n");
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
  std::thread run([&] { result = RunUnelevated("ping -n 3 127.0.0.1 >nul\nexit /b 4\n"); });
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
  EXPECT_TRUE(RunUnelevated("echo fine >nul\n"));
  EXPECT_EQ(g_batchFileCounter.load(), before + 2);
  EXPECT_FALSE(Exists(marker.path));
  EXPECT_EQ(ReadAll(trap), trapContent);
  DeleteFileW(trap.c_str());
}

}  // namespace
