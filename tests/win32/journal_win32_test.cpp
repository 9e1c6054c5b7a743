// The journal on Wine's real registry, service manager and files: a run
// through the real batch runner and cmd.exe, then undo, leaves every key it
// touched byte for byte as "reg export" showed it before, and the same for a
// service's start type and the hosts file; a process ended mid-run leaves a
// journal that undoes every finished tweak; the journal's folder is for
// administrators alone; System Restore, absent here, stops the run before it
// starts.
#include <aclapi.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "catalogue/tweak_index.h"
#include "journal/journal_file.h"
#include "platform/registry.h"
#include "platform/system_state.h"
#include "platform/text.h"
#include "run/batch_runner.h"
#include "run/optimize_run.h"
#include "run/run_state.h"
#include "run/undo_run.h"
#include "run_messages.h"
#include "step_lines.h"

namespace {

std::wstring W(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

std::u16string TempFolder(const std::string& name) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("qf-journal-" + name);
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return (folder / "").u16string();
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The parent of "HIVE\a\b" ("HIVE\a").
std::string Parent(const std::string& key) { return key.substr(0, key.rfind('\\')); }

// What the test compares: each key as reg.exe exports it (run through the
// real batch runner), the service's configuration and the hosts file.
struct Snapshot {
  std::map<std::string, std::string> exports;
  std::map<std::string, std::pair<uint32_t, bool>> services;
  std::optional<std::string> hosts;
  bool operator==(const Snapshot&) const = default;
};

Snapshot Take(const std::set<std::string>& keys, const std::set<std::string>& services) {
  Snapshot snapshot;
  const std::filesystem::path file = std::filesystem::temp_directory_path() / "qf-journal-export.reg";
  for (const std::string& key : keys) {
    std::filesystem::remove(file);
    RunBatchScript(("reg export \"" + key + "\" \"" + file.string() + "\" /y >nul 2>&1").c_str());
    snapshot.exports[key] = ReadAll(file);
  }
  for (const std::string& name : services) {
    const platform::ServiceStart start = platform::ServiceStartType(platform::Utf8ToUtf16(name));
    snapshot.services[name] = {start.startType, start.delayed};
  }
  snapshot.hosts = platform::ReadSmallFile(platform::HostsFilePath(), 1 << 20);
  return snapshot;
}

// Where each of the tweaks' recorded targets hangs from the first key that
// existed before the run: the keys to export.
std::set<std::string> KeysToExport(const std::vector<int32_t>& ids, std::set<std::string>* services) {
  std::set<std::string> keys;
  const Machine machine = SystemMachine();
  for (const int32_t id : ids) {
    for (const Capture& capture : CaptureSteps(TweakIndexAt(static_cast<size_t>(id))->steps, machine).captures) {
      if (capture.kind == Capture::Kind::kService) {
        services->insert(capture.target);
        keys.insert("HKLM\\SYSTEM\\CurrentControlSet\\Services\\" + capture.target);
      } else if (capture.kind == Capture::Kind::kValue || capture.kind == Capture::Kind::kTree) {
        const bool exists = capture.kind == Capture::Kind::kValue ? capture.made.empty() : capture.present;
        keys.insert(!capture.made.empty() ? Parent(capture.made) : exists ? capture.target : Parent(capture.target));
      }
    }
  }
  return keys;
}

// A service the catalogue disables, made here since Wine has none of them.
void MakeService(const wchar_t* name) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
  ASSERT_NE(manager, nullptr);
  SC_HANDLE service = CreateServiceW(manager, name, name, SERVICE_QUERY_CONFIG, SERVICE_WIN32_OWN_PROCESS,
                                     SERVICE_AUTO_START, SERVICE_ERROR_IGNORE, L"C:\\windows\\system32\\svchost.exe",
                                     nullptr, nullptr, nullptr, nullptr, nullptr);
  if (service != nullptr) CloseServiceHandle(service);
  CloseServiceHandle(manager);
}

class JournalWin32 : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    g_catalogue = BuildCatalogue();
    UpdateTweakIndex(g_catalogue);
  }
  void SetUp() override {
    CollectPageMessages();
    g_running = false;
  }

  // Rows whose every lasting step StepLines writes: the first with each
  // family, a few more registry rows, and the service row.
  static std::vector<int32_t> Rows() {
    std::vector<int32_t> ids;
    std::set<std::string> families;
    size_t registryRows = 0;
    for (size_t id = 0; id < TweakIndexSize(); ++id) {
      const Tweak& tweak = *TweakIndexAt(id);
      if (!CoveredByStepLines(tweak)) continue;
      bool wanted = false;
      for (const StepDef& step : tweak.steps) {
        wanted = wanted || families.insert(step.family).second ||
                 (std::string_view(step.family) == "disable-service" && ParamValue(step, "service") == "DiagTrack");
      }
      if (!wanted && registryRows < 4) wanted = ++registryRows > 0;
      if (wanted) ids.push_back(static_cast<int32_t>(id));
    }
    return ids;
  }

  static RunSeams Seams(const std::u16string& folder) {
    RunSeams seams;
    seams.runScript = [](const char* script) {
      for (size_t id = 0; id < TweakIndexSize(); ++id) {
        const Tweak* tweak = TweakIndexAt(id);
        if (tweak->script.c_str() == script) return RunBatchScript(StepLines(*tweak, ToolFolder()).c_str());
      }
      return BatchResult{};
    };
    seams.journalFolder = folder;
    seams.machine = SystemMachine;
    return seams;
  }

  static std::vector<std::string> Undo(const std::u16string& folder, const std::string& run,
                                       std::vector<std::string> keys = {}, bool force = false) {
    g_running = true;
    UndoRunWith({run, std::move(keys), force}, {folder, SystemMachine, SystemMachineChanges()});
    return TakePageMessages();
  }
};

TEST_F(JournalWin32, RunThenUndoLeavesEveryTouchedKeyServiceAndHostsAsBefore) {
  MakeService(L"DiagTrack");
  const std::vector<int32_t> ids = Rows();
  std::set<std::string> services;
  const std::set<std::string> keys = KeysToExport(ids, &services);
  ASSERT_GE(ids.size(), 8u);
  ASSERT_EQ(services, std::set<std::string>{"DiagTrack"});
  const Snapshot before = Take(keys, services);
  ASSERT_EQ(before.services.at("DiagTrack").first, 2u);

  const std::u16string folder = TempFolder("wine-round-trip");
  OptimizeRunWith(ids, Seams(folder));
  EXPECT_EQ(TakePageMessages().back(), "{\"type\":\"done\",\"ok\":" + std::to_string(ids.size()) + ",\"err\":0}");
  const Snapshot applied = Take(keys, services);
  EXPECT_EQ(applied.services.at("DiagTrack").first, platform::kServiceDisabled);
  EXPECT_NE(applied.hosts, before.hosts);
  size_t changed = 0;
  for (const auto& [key, text] : before.exports) changed += applied.exports.at(key) != text;
  EXPECT_GE(changed, keys.size() / 2) << "the tweaks changed too little to show anything";

  const JournalText journal = LoadJournal(folder).journal;
  ASSERT_EQ(journal.runs.size(), 1u);
  const std::vector<std::string> messages = Undo(folder, journal.runs[0].id);
  EXPECT_EQ(messages.back(), "{\"type\":\"done\",\"ok\":" + std::to_string(ids.size()) + ",\"err\":0}");
  const Snapshot undone = Take(keys, services);
  std::printf("%zu rows, %zu keys exported, %zu changed by the run and compared after undo\n", ids.size(), keys.size(),
              changed);
  for (const auto& [key, text] : before.exports) EXPECT_EQ(undone.exports.at(key), text) << key;
  EXPECT_EQ(undone.services, before.services);
  EXPECT_EQ(undone.hosts, before.hosts);
}

TEST_F(JournalWin32, ProcessEndedMidRunLeavesEveryFinishedTweakUndoable) {
  std::vector<int32_t> ids = Rows();
  ids.resize(4);
  std::set<std::string> services;
  const std::set<std::string> keys = KeysToExport(ids, &services);
  const Snapshot before = Take(keys, services);
  const std::u16string folder = TempFolder("wine-killed");

  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command = L"\"" + std::filesystem::path(self).replace_filename("journal_kill_child.exe").wstring() +
                         L"\" \"" + W(folder) + L"\\\"";  // the doubled backslash ends before the quote
  for (const int32_t id : ids) command += L" " + std::to_wstring(id);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child));
  WaitForSingleObject(child.hProcess, 120000);
  DWORD code = 0;
  GetExitCodeProcess(child.hProcess, &code);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  ASSERT_EQ(code, 3u);

  const JournalText journal = LoadJournal(folder).journal;
  ASSERT_EQ(journal.runs.size(), 1u);
  const JournalRun& run = journal.runs[0];
  ASSERT_EQ(run.entries.size(), 3u);
  EXPECT_TRUE(run.entries[0].finished && run.entries[1].finished);
  EXPECT_FALSE(run.entries[2].finished);
  // The cut-off tweak changed its target: undo asks before putting it back;
  // the finished ones need no asking.
  std::vector<std::string> messages = Undo(folder, run.id);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("the run ended during this tweak"), std::string::npos) << messages[0];
  messages = Undo(folder, run.id, {run.entries[0].key, run.entries[1].key});
  EXPECT_EQ(messages.back(), "{\"type\":\"done\",\"ok\":2,\"err\":0}");
  messages = Undo(folder, run.id, {}, true);
  EXPECT_EQ(messages.back(), "{\"type\":\"done\",\"ok\":1,\"err\":0}");
  EXPECT_EQ(Take(keys, services), before);
}

// Elevated (as Wine runs every program), the journal lives in the
// administrators' data folder; the folder and the journal read back owned by
// an administrative identity, with a DACL that lets nobody else in. Wine keeps
// no security descriptor for files: it reads back the owner of the system
// folder (the prefix's user) and SYSTEM, made up from the Unix mode, which the
// folder's DACL set without access for others.
TEST_F(JournalWin32, JournalIsForAdministratorsAlone) {
  const JournalPlace place = SystemJournalPlace();
  ASSERT_FALSE(place.perUser);
  ASSERT_FALSE(place.folder.empty());
  OptimizeRunWith({0}, RunSeams{[](const char*) {
                                  return BatchResult{BatchOutcome::Succeeded, 0u, 0, "", 0};
                                },
                                {},
                                place.folder,
                                SystemMachine,
                                nullptr});
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  PSID systemOwner = nullptr;
  PSECURITY_DESCRIPTOR systemDescriptor = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoW(system, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &systemOwner, nullptr, nullptr,
                                  nullptr, &systemDescriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  const auto administrative = [systemOwner](PSID sid) {
    return IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || IsWellKnownSid(sid, WinLocalSystemSid) ||
           EqualSid(sid, systemOwner);
  };
  for (const std::u16string& path : {place.folder, JournalFile(place.folder)}) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(
        GetNamedSecurityInfoW(W(path).c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              &owner, nullptr, &dacl, nullptr, &descriptor),
        static_cast<DWORD>(ERROR_SUCCESS))
        << platform::Utf16ToUtf8(path);
    ASSERT_NE(dacl, nullptr) << platform::Utf16ToUtf8(path);
    EXPECT_TRUE(administrative(owner)) << platform::Utf16ToUtf8(path);
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
      ACE_HEADER* ace = nullptr;
      ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
      if (ace->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
      EXPECT_TRUE(administrative(&reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart))
          << platform::Utf16ToUtf8(path) << " lets another identity in";
    }
    LocalFree(descriptor);
  }
  LocalFree(systemDescriptor);
}

// Wine's System Restore is a stand-in that refuses without a reason: the page
// hears "unavailable" and nothing runs.
TEST_F(JournalWin32, WithoutSystemRestoreTheRunAsksFirst) {
  const RestorePointSystem restorePoints = SystemRestorePoints();
  int ran = 0;
  OptimizeRunWith({0, 1}, RunSeams{[&ran](const char*) {
                                     ++ran;
                                     return BatchResult{};
                                   },
                                   {},
                                   std::nullopt,
                                   {},
                                   &restorePoints});
  const std::vector<std::string> messages = TakePageMessages();
  EXPECT_EQ(ran, 0);
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_TRUE(messages[0].starts_with(R"({"type":"restore-point","created":false,"reason":"unavailable",)"))
      << messages[0];
  EXPECT_EQ(messages[2], "{\"type\":\"done\",\"ok\":0,\"err\":0}");
}

}  // namespace
