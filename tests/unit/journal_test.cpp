// The journal end to end on a machine made up here: a run records each
// tweak's state before and after, undo puts it back exactly and asks first
// about what changed since, and the file stays whole through torn, damaged
// and unwritable ends.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/tweak_index.h"
#include "fake_machine.h"
#include "journal/history_message.h"
#include "journal/journal_file.h"
#include "platform/text.h"
#include "protocol/json_value.h"
#include "run/optimize_run.h"
#include "run/run_state.h"
#include "run/undo_run.h"
#include "run_messages.h"

namespace {

using platform::RegistryHive;
constexpr RegistryHive kLm = RegistryHive::kLocalMachine;
constexpr RegistryHive kCu = RegistryHive::kCurrentUser;
using Effect = std::function<void(FakeMachine&)>;

// One made-up row: its steps and what its body does to the machine.
struct Row {
  std::string name;
  std::vector<std::vector<std::pair<std::string, std::string>>> steps;  // family first, then its params
  Effect effect;
  StepUndo undo = StepUndo::kExact;
};

// Static storage for the rows' step records, which the table points into.
struct Table {
  std::deque<std::string> texts;
  std::deque<std::vector<StepParam>> params;
  std::deque<std::vector<StepDef>> steps;
  std::vector<TweakDef> defs;
  Catalogue catalogue;

  const char* Keep(std::string text) { return texts.emplace_back(std::move(text)).c_str(); }

  explicit Table(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
      std::vector<StepDef>& records = steps.emplace_back();
      for (const auto& step : row.steps) {
        std::vector<StepParam>& list = params.emplace_back();
        for (size_t i = 1; i < step.size(); ++i) list.push_back({Keep(step[i].first), Keep(step[i].second)});
        records.push_back({Keep(step[0].first), Keep("summary of " + step[0].first), row.undo, list});
      }
      defs.push_back(
          {Keep(row.name), 0, Keep(row.name), 0, 0, Keep("test/" + row.name), nullptr, {}, "none", "", records});
    }
    catalogue = BuildCatalogueFrom(defs);
  }
};

std::u16string TempFolder(const std::string& name) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("qf-journal-" + name);
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return (folder / "").u16string();
}

std::string ReadAll(const std::u16string& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::u16string& path, const std::string& text) {
  std::ofstream(std::filesystem::path(path), std::ios::binary) << text;
}

bool HasLog(const std::vector<std::string>& messages, const std::string& level, const std::string& start) {
  const std::string prefix = "{\"type\":\"log\",\"level\":\"" + level + "\",\"text\":" + JsonQuote(start);
  for (const std::string& message : messages) {
    if (message.starts_with(prefix.substr(0, prefix.size() - 1))) return true;
  }
  return false;
}

class JournalTest : public testing::Test {
 protected:
  void SetUp() override {
    CollectPageMessages();
    g_running = false;
    folder = TempFolder(testing::UnitTest::GetInstance()->current_test_info()->name());
  }

  // Runs every row of `table` through the journal; the runner does each row's
  // effect on `machine`.
  std::string Run(const Table& table, const std::vector<Row>& rows, std::vector<int32_t> ids = {}) {
    UpdateTweakIndex(table.catalogue);
    if (ids.empty()) {
      for (size_t i = 0; i < rows.size(); ++i) ids.push_back(static_cast<int32_t>(i));
    }
    RunSeams seams;
    seams.runScript = [&rows, this](const char* script) {
      for (const Row& row : rows) {
        if (row.name == script) row.effect(machine);
      }
      return BatchResult{BatchOutcome::Succeeded, 0u, 0, "", 0};
    };
    seams.journalFolder = folder;
    seams.machine = [this] { return machine.Reader(); };
    OptimizeRunWith(std::move(ids), seams);
    const JournalText journal = LoadJournal(folder).journal;
    return journal.runs.empty() ? std::string() : journal.runs.back().id;
  }

  std::vector<std::string> Undo(const std::string& run, std::vector<std::string> keys = {}, bool force = false) {
    g_running = true;
    UndoRunWith({run, std::move(keys), force}, {folder, [this] { return machine.Reader(); }, machine.Changes()});
    EXPECT_FALSE(g_running);
    return TakePageMessages();
  }

  std::u16string folder;
  FakeMachine machine;
};

constexpr char16_t kPolicies[] = u"SOFTWARE\\Policies";
constexpr char16_t kTelemetry[] = u"SOFTWARE\\Policies\\Microsoft\\Windows\\DataCollection";
constexpr char16_t kExplorer[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
constexpr char16_t kNamespace[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Desktop\\NameSpace";
constexpr char16_t kInterfaces[] = u"SYSTEM\\CurrentControlSet\\services\\NetBT\\Parameters\\Interfaces";

FakeMachine Sample() {
  FakeMachine m;
  m.Create(kLm, kPolicies);
  m.Create(kLm, kTelemetry);
  m.Set(kLm, kTelemetry, u"AllowTelemetry", Dword(3));
  m.Set(kLm, kTelemetry, u"Old", Sz(u"kept"));
  m.Create(kLm, u"SOFTWARE\\Classes\\CLSID\\{0}\\Shell");
  m.Set(kLm, u"SOFTWARE\\Classes\\CLSID\\{0}", u"", Sz(u"Folder"));
  m.Set(kLm, u"SOFTWARE\\Classes\\CLSID\\{0}\\Shell", u"Verb", Dword(1));
  m.Create(kLm, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Appx\\AppxAllUserStore");
  m.Create(kLm, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options");
  m.Create(kCu, kExplorer);
  m.Create(kCu, std::u16string(kNamespace) + u"\\{018D5C66}\\Sub");
  m.Set(kCu, std::u16string(kNamespace) + u"\\{018D5C66}", u"", Sz(u"OneDrive"));
  m.Set(kCu, std::u16string(kNamespace) + u"\\{018D5C66}\\Sub", u"Flags", Dword(40));
  m.Create(kCu, std::u16string(kNamespace) + u"\\{Other}");
  m.Create(kLm, std::u16string(kInterfaces) + u"\\Tcpip_{A}");
  m.Create(kLm, std::u16string(kInterfaces) + u"\\Tcpip_{B}");
  m.Set(kLm, std::u16string(kInterfaces) + u"\\Tcpip_{A}", u"NetbiosOptions", Dword(0));
  for (const char16_t* service : {u"CDPUserSvc", u"CDPUserSvc_1a2b", u"Other"}) {
    m.Create(kLm, std::u16string(u"SYSTEM\\CurrentControlSet\\Services\\") + service);
    m.Set(kLm, std::u16string(u"SYSTEM\\CurrentControlSet\\Services\\") + service, u"Start", Dword(3));
  }
  m.services = {{u"DiagTrack", 2}};
  m.delayed = {u"DiagTrack"};
  m.tasks[u"\\Microsoft\\Windows\\Maps\\"] = {{u"MapsUpdateTask", true}, {u"MapsToastTask", false}, {u"Other", true}};
  m.files[u"hosts"] = "127.0.0.1 localhost\r\n";
  m.files[u"C:\\Users\\u\\AppData\\Roaming\\Code\\User\\settings.json"] = "{\n  // mine\n  \"a\": 1,\n}\n";
  return m;
}

// Every family the program records, each row with what its body does.
std::vector<Row> ExactRows() {
  const std::u16string deprovisioned =
      u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Appx\\AppxAllUserStore\\"
      u"Deprovisioned\\Microsoft.BingNews_8wekyb3d8bbwe";
  const std::u16string ifeo =
      u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\game.exe";
  return {
      {"new-value-under-new-keys",
       {{{"set-registry-value", ""},
         {"key", "HKLM\\SOFTWARE\\Policies\\Qf\\Deep"},
         {"value", "X"},
         {"type", "REG_DWORD"},
         {"data", "0"}}},
       [](FakeMachine& m) {
         m.Create(kLm, u"SOFTWARE\\Policies\\Qf\\Deep");
         m.Set(kLm, u"SOFTWARE\\Policies\\Qf\\Deep", u"X", Dword(0));
       }},
      {"changed-value",
       {{{"set-registry-value", ""},
         {"key", "HKLM\\SOFTWARE\\Policies\\Microsoft\\Windows\\DataCollection"},
         {"value", "AllowTelemetry"},
         {"type", "REG_DWORD"},
         {"data", "0"}}},
       [](FakeMachine& m) { m.Set(kLm, kTelemetry, u"AllowTelemetry", Dword(0)); }},
      {"deleted-value",
       {{{"delete-registry-value", ""},
         {"key", "HKLM\\SOFTWARE\\Policies\\Microsoft\\Windows\\DataCollection"},
         {"value", "Old"}}},
       [](FakeMachine& m) { m.keys[FakeMachine::Id(kLm, kTelemetry)].erase(u"Old"); }},
      {"deleted-default-value",
       {{{"delete-registry-value", ""}, {"key", "HKLM\\SOFTWARE\\Classes\\CLSID\\{0}"}, {"value", "(default)"}}},
       [](FakeMachine& m) { m.keys[FakeMachine::Id(kLm, u"SOFTWARE\\Classes\\CLSID\\{0}")].erase(u""); }},
      {"removed-key",
       {{{"remove-registry-key", ""}, {"key", "HKLM\\SOFTWARE\\Classes\\CLSID\\{0}"}}},
       [](FakeMachine& m) { m.Changes().deleteTree(kLm, u"SOFTWARE\\Classes\\CLSID\\{0}"); }},
      {"created-key",
       {{{"create-registry-key", ""}, {"key", "HKCU\\Software\\Qf\\Made"}}},
       [](FakeMachine& m) { m.Create(kCu, u"Software\\Qf\\Made"); }},
      {"deprovisioned",
       {{{"deprovision-store-app", ""}, {"package-family", "Microsoft.BingNews_8wekyb3d8bbwe"}}},
       [deprovisioned](FakeMachine& m) { m.Create(kLm, deprovisioned); }},
      {"blocked-executable",
       {{{"block-executable", ""}, {"executable", "game.exe"}}},
       [](FakeMachine& m) {
         m.Create(kCu, std::u16string(kExplorer) + u"\\DisallowRun");
         m.Set(kCu, std::u16string(kExplorer) + u"\\DisallowRun", u"1", Sz(u"game.exe"));
       }},
      {"disallow-run-on",
       {{{"activate-disallow-run", ""}}},
       [](FakeMachine& m) { m.Set(kCu, kExplorer, u"DisallowRun", Dword(1)); }},
      {"terminated-on-start",
       {{{"terminate-on-startup", ""}, {"executable", "game.exe"}}},
       [ifeo](FakeMachine& m) {
         m.Create(kLm, ifeo);
         m.Set(kLm, ifeo, u"Debugger", Sz(u"C:\\Windows\\System32\\taskkill.exe"));
       }},
      {"netbios-off",
       {{{"disable-netbios", ""}}},
       [](FakeMachine& m) {
         for (const char16_t* name : {u"\\Tcpip_{A}", u"\\Tcpip_{B}"}) {
           m.Set(kLm, std::u16string(kInterfaces) + name, u"NetbiosOptions", Dword(2));
         }
       }},
      {"onedrive-entry-removed",
       {{{"remove-onedrive-navigation-entry", ""}}},
       [](FakeMachine& m) { m.Changes().deleteTree(kCu, std::u16string(kNamespace) + u"\\{018D5C66}"); }},
      {"service-disabled",
       {{{"disable-service", ""}, {"service", "DiagTrack"}}},
       [](FakeMachine& m) { m.Changes().setServiceStart(u"DiagTrack", 4, false); }},
      {"per-user-service-disabled",
       {{{"disable-per-user-service", ""}, {"service", "CDPUserSvc"}}},
       [](FakeMachine& m) {
         for (const char16_t* name : {u"CDPUserSvc", u"CDPUserSvc_1a2b"}) {
           m.Set(kLm, std::u16string(u"SYSTEM\\CurrentControlSet\\Services\\") + name, u"Start", Dword(4));
         }
       }},
      {"tasks-disabled",
       {{{"disable-scheduled-task", ""}, {"folder", "\\Microsoft\\Windows\\Maps\\"}, {"task", "Maps*"}}},
       [](FakeMachine& m) {
         for (platform::ScheduledTask& task : m.tasks[u"\\Microsoft\\Windows\\Maps\\"]) {
           if (task.name.starts_with(u"Maps")) task.enabled = false;
         }
       }},
      {"hosts-entries",
       {{{"add-hosts-entries", ""}, {"domain", "a.example"}}, {{"add-hosts-entries", ""}, {"domain", "b.example"}}},
       [](FakeMachine& m) { m.files[u"hosts"] += "0.0.0.0\ta.example # .\r\n0.0.0.0\tb.example # .\r\n"; }},
      {"editor-setting",
       {{{"editor-setting", ""}, {"key", "telemetry.telemetryLevel"}, {"value", "\"off\""}}},
       [](FakeMachine& m) {
         m.files[u"C:\\Users\\u\\AppData\\Roaming\\Code\\User\\settings.json"] =
             "{\n  \"a\": 1,\n  \"telemetry.telemetryLevel\": \"off\"\n}";
       }},
  };
}

TEST_F(JournalTest, EveryRecordedFamilyIsPutBackExactlyNewestFirst) {
  const std::vector<Row> rows = ExactRows();
  const Table table(rows);
  machine = Sample();
  const FakeMachine original = machine;
  const std::string run = Run(table, rows);
  ASSERT_FALSE(run.empty());
  EXPECT_NE(machine, original);
  TakePageMessages();

  const std::vector<std::string> messages = Undo(run);
  EXPECT_EQ(messages.back(), "{\"type\":\"done\",\"ok\":" + std::to_string(rows.size()) + ",\"err\":0}");
  EXPECT_TRUE(HasLog(messages, "info", "[1/" + std::to_string(rows.size()) + "] Undo: editor-setting"));
  EXPECT_EQ(machine.keys, original.keys);
  EXPECT_EQ(machine, original);

  // The undo is journaled: each entry it put back is marked undone, and a
  // second undo finds nothing left.
  const JournalText journal = LoadJournal(folder).journal;
  ASSERT_EQ(journal.runs.size(), 2u);
  EXPECT_EQ(journal.runs[1].kind, "undo");
  EXPECT_EQ(journal.runs[1].entries.size(), rows.size());
  for (const JournalEntry& entry : journal.runs[0].entries) EXPECT_TRUE(IsUndone(journal, journal.runs[0], entry.n));
  const std::vector<std::string> again = Undo(run);
  EXPECT_TRUE(HasLog(again, "warn", "Nothing to undo."));
}

TEST_F(JournalTest, WhatChangedSinceTheRunIsAskedAboutFirst) {
  const std::vector<Row> rows = {
      {"to-one",
       {{{"set-registry-value", ""},
         {"key", "HKLM\\SOFTWARE\\Policies\\Microsoft\\Windows\\DataCollection"},
         {"value", "AllowTelemetry"},
         {"type", "REG_DWORD"},
         {"data", "1"}}},
       [](FakeMachine& m) { m.Set(kLm, kTelemetry, u"AllowTelemetry", Dword(1)); }},
      {"to-two",
       {{{"set-registry-value", ""},
         {"key", "HKLM\\SOFTWARE\\Policies\\Microsoft\\Windows\\DataCollection"},
         {"value", "AllowTelemetry"},
         {"type", "REG_DWORD"},
         {"data", "2"}}},
       [](FakeMachine& m) { m.Set(kLm, kTelemetry, u"AllowTelemetry", Dword(2)); }},
  };
  const Table table(rows);
  machine = Sample();
  const std::string run = Run(table, rows);
  TakePageMessages();

  // Undoing only the first would overwrite what the second set since.
  std::vector<std::string> messages = Undo(run, {"test/to-one"});
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0],
            "{\"type\":\"undo-conflicts\",\"run\":" + JsonQuote(run) +
                ",\"conflicts\":[{\"key\":\"test/to-one\",\"name\":\"to-one\",\"text\":\"value AllowTelemetry of "
                "HKLM\\\\SOFTWARE\\\\Policies\\\\Microsoft\\\\Windows\\\\DataCollection is 2 (REG_DWORD); the run "
                "left it 1 (REG_DWORD), and before it was 3 (REG_DWORD)\"}]}");
  EXPECT_EQ(machine.keys[FakeMachine::Id(kLm, kTelemetry)][u"AllowTelemetry"], Dword(2));

  // Both, newest first: the second's state before is what the first left.
  messages = Undo(run);
  EXPECT_EQ(messages.back(), "{\"type\":\"done\",\"ok\":2,\"err\":0}");
  EXPECT_EQ(machine.keys[FakeMachine::Id(kLm, kTelemetry)][u"AllowTelemetry"], Dword(3));

  // Changed by someone else after the run: asked, then overwritten when the
  // page says so.
  const std::string second = Run(table, rows, {0});
  machine.Set(kLm, kTelemetry, u"AllowTelemetry", Dword(7));
  TakePageMessages();
  messages = Undo(second);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].starts_with("{\"type\":\"undo-conflicts\"")) << messages[0];
  messages = Undo(second, {}, true);
  EXPECT_EQ(messages.back(), "{\"type\":\"done\",\"ok\":1,\"err\":0}");
  EXPECT_EQ(machine.keys[FakeMachine::Id(kLm, kTelemetry)][u"AllowTelemetry"], Dword(3));
}

// The end of the process in the middle of a tweak: its outcome line never
// came, and a torn start of it may be left.
TEST_F(JournalTest, RunCutOffMidTweakLeavesEveryFinishedTweakUndoable) {
  std::vector<Row> rows = ExactRows();
  rows.resize(3);
  const Table table(rows);
  machine = Sample();
  const FakeMachine original = machine;
  const std::string run = Run(table, rows);
  const std::u16string file = JournalFile(folder);
  std::string text = ReadAll(file);
  text.resize(text.rfind("{\"t\":\"outcome\""));
  WriteAll(file, text + "{\"t\":\"outc");
  TakePageMessages();

  std::vector<std::string> messages = Undo(run);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("the run ended during this tweak"), std::string::npos) << messages[0];
  messages = Undo(run, {"test/changed-value", "test/new-value-under-new-keys"});
  EXPECT_EQ(messages.back(), "{\"type\":\"done\",\"ok\":2,\"err\":0}");
  messages = Undo(run, {}, true);
  EXPECT_EQ(messages.back(), "{\"type\":\"done\",\"ok\":1,\"err\":0}");
  EXPECT_EQ(machine, original);
  // The torn line was cut before the undo appended; nothing was set aside.
  EXPECT_EQ(LoadJournal(folder).journal.damagedLines, 0u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(std::filesystem::path(folder)), {}), 1);
}

TEST_F(JournalTest, DamagedJournalIsSetAsideWholeAndItsReadableRunsCarriedOver) {
  std::vector<Row> rows = ExactRows();
  rows.resize(2);
  const Table table(rows);
  machine = Sample();
  Run(table, rows);
  const std::u16string file = JournalFile(folder);
  std::string damaged = ReadAll(file);
  damaged.insert(damaged.find('\n') + 1, "{\"t\":\"tweak\",\"run\":1}\nnot json\n");
  WriteAll(file, damaged);
  TakePageMessages();

  Run(table, rows);
  EXPECT_TRUE(HasLog(TakePageMessages(), "warn", "The journal had 2 unreadable lines; it is kept as "));
  std::vector<std::u16string> aside;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(folder))) {
    if (entry.path().filename().u16string() != kJournalFileName) aside.push_back(entry.path().u16string());
  }
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_TRUE(std::filesystem::path(aside[0]).filename().string().starts_with("journal.damaged-"));
  EXPECT_EQ(ReadAll(aside[0]), damaged);
  const LoadedJournal carried = LoadJournal(folder);
  EXPECT_EQ(carried.journal.damagedLines, 0u);
  ASSERT_EQ(carried.journal.runs.size(), 2u);
  EXPECT_EQ(carried.journal.runs[0].entries.size(), 2u);
}

TEST_F(JournalTest, TheNewestRunsAreKeptWithinTheBound) {
  const std::vector<Row> rows = {{"noop", {}, [](FakeMachine&) {}, StepUndo::kNone}};
  const Table table(rows);
  std::string text;
  for (size_t i = 0; i < kJournalRuns + 5; ++i) {
    text += RunLine({"old-" + std::to_string(i), "2020-01-01T00:00:00Z", "apply", "", false, {}});
  }
  WriteAll(JournalFile(folder), text);
  Run(table, rows);
  const JournalText journal = LoadJournal(folder).journal;
  ASSERT_EQ(journal.runs.size(), kJournalRuns);
  EXPECT_EQ(journal.runs.front().id, "old-6");
  EXPECT_EQ(journal.runs.back().entries.size(), 1u);
}

TEST_F(JournalTest, HistoryListsRunsNewestFirstWithWhatCannotBeUndone) {
  const std::vector<Row> rows = {
      {"cleans", {{{"delete-files", ""}, {"pattern", "C:\\x\\*"}}}, [](FakeMachine&) {}, StepUndo::kNone}};
  const Table table(rows);
  machine = Sample();
  const std::string first = Run(table, rows);
  const std::string second = Run(table, rows);
  const std::optional<JsonValue> history = ParseJson(WriteHistoryMessage(LoadJournal(folder), true));
  ASSERT_TRUE(history);
  EXPECT_EQ(JsonMember(*history, "perUser")->boolean, true);
  const JsonValue& runs = *JsonMember(*history, "runs");
  ASSERT_EQ(runs.items.size(), 2u);
  EXPECT_EQ(JsonStringMember(runs.items[0], "id"), second);
  const JsonValue& tweak = JsonMember(runs.items[1], "tweaks")->items.at(0);
  EXPECT_EQ(JsonStringMember(tweak, "outcome"), "ok");
  EXPECT_EQ(JsonStringMember(tweak, "reversibility"), "none");
  EXPECT_FALSE(JsonMember(tweak, "undoable")->boolean);
  const JsonValue& lost = JsonMember(tweak, "lost")->items.at(0);
  EXPECT_EQ(JsonStringMember(lost, "family"), "delete-files");
  EXPECT_EQ(JsonStringMember(lost, "wayBack"), std::string(WayBack("delete-files")));
  EXPECT_FALSE(WayBack("delete-files").empty());
}

// Journal lines that are valid JSON but not what the format allows are
// damaged lines, never half-read records.
TEST(JournalLines, OnlyWholeRecordsAreRead) {
  const std::string run = RunLine({"r", "2025-01-01T00:00:00Z", "apply", "", false, {}});
  JournalEntry entry;
  entry.key = "k";
  entry.name = "n";
  entry.reversibility = "full";
  Capture value;
  value.target = "HKLM\\X";
  value.name = "v";
  value.present = true;
  value.value = Dword(5);
  Capture absent;
  absent.target = "HKCU\\Y";
  absent.name = "w";
  absent.made = "HKCU\\Y";
  entry.before = {value, absent};
  entry.after = {absent};
  entry.finished = true;
  entry.ok = true;
  const std::string good = run + EntryLine("r", entry) + OutcomeLine("r", entry);
  const JournalText read = ReadJournal(good);
  ASSERT_EQ(read.runs.size(), 1u);
  ASSERT_EQ(read.runs[0].entries.size(), 1u);
  EXPECT_EQ(read.runs[0].entries[0].before[0].value, Dword(5));
  EXPECT_EQ(TargetId(read.runs[0].entries[0].after[0]), TargetId(absent));
  EXPECT_TRUE(read.runs[0].entries[0].finished);
  EXPECT_EQ(JournalLines(read.runs), good);

  for (const std::string& bad : {
           std::string("{\"t\":\"tweak\",\"run\":\"other\",\"n\":0}"),         // no such run
           EntryLine("r", entry).substr(0, EntryLine("r", entry).size() - 1),  // a second entry 0
           std::string("{\"t\":\"outcome\",\"run\":\"r\",\"n\":3,\"ok\":true,\"after\":[]}"),
           std::string("{\"t\":\"run\",\"id\":\"r\",\"start\":\"\",\"kind\":\"apply\"}"),  // id taken
           std::string("{\"t\":\"run\",\"id\":\"s\",\"start\":\"\",\"kind\":\"undo\"}"),   // undoes nothing
           std::string("[]"),
       }) {
    const JournalText damaged = ReadJournal(good + bad + "\n");
    EXPECT_EQ(damaged.damagedLines, 1u) << bad;
    EXPECT_FALSE(damaged.tornTail);
  }
  std::string corrupt = EntryLine("r", entry);
  corrupt.replace(corrupt.find("\"data\":\"") + 8, 4, "!!!!");
  EXPECT_EQ(ReadJournal(run + corrupt).damagedLines, 1u);
  EXPECT_TRUE(ReadJournal(good + "{\"t\":").tornTail);
}

}  // namespace
