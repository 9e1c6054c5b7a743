// quarnfeld.exe and the script it exports, on Wine. The program itself: every
// tweak listed, a run's result lines and exit codes, a failing tweak's reason,
// no run without a restore point. Through its commands with the tweaks' steps
// written as reg.exe lines (tests/win32/step_lines.h; Wine's PowerShell is a
// stub, so the real bodies would change nothing to compare): "state" after
// "apply" says applied, "undo" puts every touched key back as "reg export"
// showed it, and the exported script run by Wine's cmd.exe leaves the same
// registry as "apply". The script refuses to run unelevated and passes by
// per-user tweaks when it runs as SYSTEM.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "catalogue/tweak_index.h"
#include "cli/commands.h"
#include "cli/deploy_script.h"
#include "journal/journal_file.h"
#include "platform/standard_output.h"
#include "platform/text.h"
#include "protocol/json_value.h"
#include "run/batch_runner.h"
#include "run/run_state.h"
#include "state/step_targets.h"
#include "step_lines.h"

namespace {

// Three rows of registry values only: two under HKLM, one under HKCU.
const std::vector<std::string> kKeys = {"telemetry/disable-license-telemetry",
                                        "telemetry/disable-diagnostic-and-usage-telemetry",
                                        "telemetry/disable-participation-in-cortana-data-collection"};
constexpr char kPerUserKey[] = "telemetry/disable-participation-in-cortana-data-collection";
// Its body finds no Intel processor under Wine, says so and exits with 1.
constexpr char kFailingKey[] = "hardware/intel-cpu-tweaks-msi-core-parking-power";

std::wstring W(const std::string& text) {
  const std::u16string wide = platform::Utf8ToUtf16(text);
  return std::wstring(wide.begin(), wide.end());
}

std::string WindowsPath(std::string path) {
  for (char& c : path) c = c == '/' ? '\\' : c;
  return "Z:" + path;
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    at = end + 1;
  }
  return lines;
}

struct Ran {
  DWORD exit = 0xFFFFFFFF;
  std::string out;
  std::string err;
};

// Starts a program with standard output and error in files of their own.
Ran RunProgram(const std::string& commandLine) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path();
  const std::filesystem::path outFile = folder / "qf-cli-out.txt";
  const std::filesystem::path errFile = folder / "qf-cli-err.txt";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const auto open = [&inherit](const std::filesystem::path& path) {
    return CreateFileW(path.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  HANDLE out = open(outFile);
  HANDLE err = open(errFile);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  std::wstring line = W(commandLine);
  Ran ran;
  if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                     &process)) {
    WaitForSingleObject(process.hProcess, 600000);
    GetExitCodeProcess(process.hProcess, &ran.exit);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(out);
  CloseHandle(err);
  ran.out = ReadAll(outFile);
  ran.err = ReadAll(errFile);
  return ran;
}

Ran Quarnfeld(const std::string& arguments) {
  std::string line = "\"";
  line += WindowsPath(QF_CLI_PROGRAM);
  line += "\" ";
  line += arguments;
  return RunProgram(line);
}

const Tweak& TweakOf(const std::string& key) {
  for (const Tweak* tweak : UpdateTweakIndex(g_catalogue)) {
    if (tweak->key == key) return *tweak;
  }
  throw std::runtime_error("no tweak " + key);
}

// Each value the three rows write, with the first key on its path that
// exists before any run.
struct Target {
  std::string existing;
  std::string key;
  std::string value;
};
const std::vector<Target>& Targets() {
  static std::vector<Target> targets;
  if (targets.empty()) {
    for (const std::string& key : kKeys) {
      for (const StepDef& step : TweakOf(key).steps) {
        Target target{std::string(ParamValue(step, "key")), std::string(ParamValue(step, "key")),
                      std::string(ParamValue(step, "value"))};
        while (RunProgram("reg.exe query \"" + target.existing + "\"").exit != 0) {
          target.existing = target.existing.substr(0, target.existing.rfind('\\'));
        }
        targets.push_back(target);
      }
    }
  }
  return targets;
}

// The targets' keys as reg.exe exports them.
std::map<std::string, std::string> Exports() {
  std::map<std::string, std::string> exports;
  const std::filesystem::path file = std::filesystem::temp_directory_path() / "qf-cli-export.reg";
  for (const Target& target : Targets()) {
    if (exports.contains(target.existing)) continue;
    std::filesystem::remove(file);
    RunProgram("reg.exe export \"" + target.existing + "\" \"" + file.string() + "\" /y");
    exports[target.existing] = ReadAll(file);
  }
  return exports;
}

// Takes back what a run of the three rows wrote that nothing journaled.
void RemoveTargets() {
  for (const Target& target : Targets()) {
    if (target.existing == target.key) {
      RunProgram("reg.exe delete \"" + target.key + "\" /v \"" + target.value + "\" /f");
    } else {
      const size_t end = target.key.find('\\', target.existing.size() + 1);
      RunProgram("reg.exe delete \"" + target.key.substr(0, end) + "\" /f");
    }
  }
}

// The tweaks' steps as reg.exe lines, LF ends as the bodies have them.
std::string Lf(std::string text) {
  std::string lf;
  for (const char c : text) {
    if (c != '\r') lf += c;
  }
  return lf;
}

struct InProcess {
  std::vector<std::string> out;
  std::vector<std::string> notices;
  int Run(const std::vector<std::string>& args, bool stepLines) {
    CliSystem system;
    system.output.out = [this](std::string_view line) { out.emplace_back(line); };
    system.output.notice = [this](std::string_view line) { notices.emplace_back(line); };
    system.elevated = [] { return true; };
    system.actions = SystemPageCommandActions();
    if (stepLines) {
      system.actions.startRun = [](std::vector<int32_t> ids, RunOptions) {
        RunSeams seams;
        seams.runScript = [](const char* script) {
          for (const Tweak* tweak : UpdateTweakIndex(g_catalogue)) {
            if (tweak->script.c_str() == script) return RunBatchScript(StepLines(*tweak, "").c_str());
          }
          return BatchResult{};
        };
        seams.journalFolder = SystemJournalPlace().folder;
        seams.machine = SystemMachine;
        OptimizeRunWith(std::move(ids), seams);
      };
    }
    return RunCliCommand(ParseCommandLine(args), system);
  }
};

class CliWin32 : public testing::Test {
 protected:
  static void SetUpTestSuite() { g_catalogue = BuildCatalogue(); }
};

TEST_F(CliWin32, TheProgramListsRunsAndFailsWithItsReason) {
  const Ran list = Quarnfeld("list --json");
  EXPECT_EQ(list.exit, 0u);
  const std::vector<std::string> listed = Lines(list.out);
  EXPECT_EQ(listed.size(), 421u);
  for (const std::string& line : listed) {
    const std::optional<JsonValue> object = ParseJson(line);
    ASSERT_TRUE(object && JsonStringMember(*object, "type") == "tweak") << line;
  }

  const Ran applied = Quarnfeld("apply " + kKeys[0] + " " + kKeys[1] + " " + kKeys[2] + " --no-restore-point --json");
  EXPECT_EQ(applied.exit, 0u) << applied.out << applied.err;
  size_t results = 0;
  for (const std::string& line : Lines(applied.out)) {
    const std::optional<JsonValue> object = ParseJson(line);
    ASSERT_TRUE(object) << line;
    if (JsonStringMember(*object, "type") != "tweak") continue;
    EXPECT_EQ(JsonStringMember(*object, "key"), kKeys[results]);
    EXPECT_EQ(JsonStringMember(*object, "result"), "ok") << line;
    ++results;
  }
  EXPECT_EQ(results, 3u) << applied.out;

  const Ran failed = Quarnfeld(std::string("apply ") + kFailingKey + " --no-restore-point");
  EXPECT_EQ(failed.exit, 1u) << failed.out << failed.err;
  const std::vector<std::string> lines = Lines(failed.out);
  ASSERT_GE(lines.size(), 3u) << failed.out;
  EXPECT_TRUE(lines[0].starts_with("failed   " + std::string(kFailingKey))) << lines[0];
  EXPECT_TRUE(lines[1].starts_with("         ") && lines[1].size() > 10) << lines[1];
  EXPECT_EQ(lines.back(), "1 tweaks: 0 succeeded, 0 already applied, 1 failed.");

  // Wine has no System Restore: without --no-restore-point nothing runs.
  const Ran noPoint = Quarnfeld("apply " + kKeys[0]);
  EXPECT_EQ(noPoint.exit, 1u);
  EXPECT_NE(noPoint.err.find("Nothing was run."), std::string::npos) << noPoint.err;
}

TEST_F(CliWin32, StateAfterApplyUndoAndTheExportedScriptAgree) {
  // Windows always has the Local Service account's hive loaded, which only an
  // administrator may read; the script's elevation check asks for it. Wine
  // has none.
  ASSERT_EQ(RunProgram("reg.exe add \"HKU\\S-1-5-19\\Quarnfeld\" /f").exit, 0u);
  const std::map<std::string, std::string> before = Exports();

  InProcess apply;
  EXPECT_EQ(apply.Run({"apply", kKeys[0], kKeys[1], kKeys[2], "--no-restore-point"}, true), 0);
  ASSERT_EQ(apply.out.size(), 4u);
  EXPECT_EQ(apply.out.back(), "3 tweaks: 3 succeeded, 0 already applied, 0 failed.");
  const std::map<std::string, std::string> applied = Exports();
  for (const auto& [key, text] : before) EXPECT_NE(applied.at(key), text) << key;

  InProcess state;
  EXPECT_EQ(state.Run({"state", kKeys[0], kKeys[1], kKeys[2], "--json"}, false), 0);
  ASSERT_EQ(state.out.size(), 3u);
  for (const std::string& line : state.out) EXPECT_EQ(JsonStringMember(*ParseJson(line), "state"), "applied") << line;

  const JournalText journal = LoadJournal(SystemJournalPlace().folder).journal;
  ASSERT_FALSE(journal.runs.empty());
  InProcess undo;
  EXPECT_EQ(undo.Run({"undo", journal.runs.back().id}, false), 0) << (undo.notices.empty() ? "" : undo.notices[0]);
  EXPECT_EQ(undo.out.back(), "3 tweaks: 3 succeeded, 0 already applied, 0 failed.");
  EXPECT_EQ(Exports(), before);

  // The same three tweaks through the exported script and Wine's cmd.exe.
  std::vector<Tweak> asLines;
  for (const std::string& key : kKeys) {
    asLines.push_back(TweakOf(key));
    asLines.back().script = Lf(StepLines(asLines.back(), ""));
  }
  std::vector<const Tweak*> chosen;
  for (const Tweak& tweak : asLines) chosen.push_back(&tweak);
  const std::filesystem::path script = std::filesystem::temp_directory_path() / "qf-cli-deploy.cmd";
  std::ofstream(script, std::ios::binary) << WriteDeployScript(chosen, "test");
  const Ran ran = RunProgram("cmd.exe /d /c \"" + script.string() + "\"");
  EXPECT_EQ(ran.exit, 0u) << ran.out << ran.err;
  for (const std::string& key : kKeys) EXPECT_NE(ran.out.find("[OK] " + key), std::string::npos) << ran.out;
  EXPECT_NE(ran.out.find("3 tweaks: 3 succeeded, 0 failed, 0 per-user passed by."), std::string::npos) << ran.out;
  EXPECT_EQ(Exports(), applied);
  RemoveTargets();
  EXPECT_EQ(Exports(), before);
}

TEST_F(CliWin32, TheExportedScriptRefusesUnelevatedAndPassesByPerUserTweaksAsSystem) {
  const std::filesystem::path script = std::filesystem::temp_directory_path() / "qf-cli-real.cmd";
  ASSERT_EQ(Quarnfeld("export --script \"" + script.string() + "\" " + kKeys[0] + " " + kKeys[1] + " " + kKeys[2] +
                      " " + kFailingKey)
                .exit,
            0u);
  ASSERT_EQ(RunProgram("reg.exe add \"HKU\\S-1-5-19\\Quarnfeld\" /f").exit, 0u);
  const Ran asAdministrator = RunProgram("cmd.exe /d /c \"" + script.string() + "\"");
  EXPECT_EQ(asAdministrator.exit, 1u) << asAdministrator.out;
  for (const std::string& key : kKeys) EXPECT_NE(asAdministrator.out.find("[OK] " + key), std::string::npos);
  EXPECT_NE(asAdministrator.out.find(std::string("[FAIL] ") + kFailingKey + ": exit code 1"), std::string::npos)
      << asAdministrator.out;

  // SYSTEM's name is the computer's with "$" (Wine's whoami gives no SID).
  wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  ASSERT_TRUE(GetComputerNameW(computer, &size));
  wchar_t user[256] = {};
  GetEnvironmentVariableW(L"USERNAME", user, 256);
  SetEnvironmentVariableW(L"USERNAME", (std::wstring(computer) + L"$").c_str());
  const Ran asSystem = RunProgram("cmd.exe /d /c \"" + script.string() + "\"");
  SetEnvironmentVariableW(L"USERNAME", user);
  EXPECT_NE(asSystem.out.find("Running as SYSTEM"), std::string::npos) << asSystem.out;
  EXPECT_NE(asSystem.out.find(std::string("  ") + kPerUserKey), std::string::npos) << asSystem.out;
  EXPECT_NE(asSystem.out.find(std::string("[SKIP] ") + kPerUserKey + ": per-user"), std::string::npos);
  EXPECT_NE(asSystem.out.find("[OK] " + kKeys[0]), std::string::npos);
  EXPECT_NE(asSystem.out.find("1 per-user passed by"), std::string::npos) << asSystem.out;

  ASSERT_EQ(RunProgram("reg.exe delete \"HKU\\S-1-5-19\" /f").exit, 0u);
  const Ran unelevated = RunProgram("cmd.exe /d /c \"" + script.string() + "\"");
  EXPECT_EQ(unelevated.exit, 3u);
  EXPECT_NE(unelevated.err.find("needs administrator rights"), std::string::npos) << unelevated.err;
  EXPECT_EQ(unelevated.out.find("[OK]"), std::string::npos) << unelevated.out;
}

// A console on a Russian system shows code page 866: a reason a step printed
// in Russian must reach it as characters, not as UTF-8 bytes in that page.
TEST(CliConsole, ALineReachesAConsoleAsItsCharacters) {
  FreeConsole();
  ASSERT_TRUE(AllocConsole());
  const HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD mode = 0;
  if (console == INVALID_HANDLE_VALUE || !GetConsoleMode(console, &mode)) {
    GTEST_SKIP() << "Wine makes a console only with a display: tools/test host runs this";
  }
  SetConsoleOutputCP(866);
  const HANDLE saved = GetStdHandle(STD_OUTPUT_HANDLE);
  SetStdHandle(STD_OUTPUT_HANDLE, console);
  const std::string reason = "ОШИБКА: Отказано в доступе.";
  const bool written = platform::WriteStandardOutputLine(reason);
  SetStdHandle(STD_OUTPUT_HANDLE, saved);
  ASSERT_TRUE(written);
  const std::u16string expected = platform::Utf8ToUtf16(reason);
  std::wstring shown(expected.size(), L' ');
  DWORD read = 0;
  ASSERT_TRUE(ReadConsoleOutputCharacterW(console, shown.data(), static_cast<DWORD>(shown.size()), {0, 0}, &read));
  EXPECT_EQ(shown, W(reason));
  CloseHandle(console);
  FreeConsole();
}

}  // namespace
