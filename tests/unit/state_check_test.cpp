// The state check's comparison rules against a machine made up here.
#include "state/state_check.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "fake_machine.h"
#include "platform/text.h"

namespace {

using platform::RegistryHive;
using platform::RegistryValue;

constexpr char16_t kPolicy[] = u"Software\\Policies\\Microsoft\\Windows\\DataCollection";

FakeMachine Sample() {
  FakeMachine m;
  m.Set(RegistryHive::kLocalMachine, kPolicy, u"AllowTelemetry", Dword(3));
  m.Set(RegistryHive::kLocalMachine, kPolicy, u"Sixteen", Dword(16));
  m.Set(RegistryHive::kLocalMachine, kPolicy, u"Path", Sz(u"C:\\Windows\\System32\\taskkill.exe"));
  m.Set(RegistryHive::kLocalMachine, kPolicy, u"Text", Sz(u"0"));
  m.Set(RegistryHive::kCurrentUser, u"Software\\Old", u"Mode", Sz(u"Classic"));
  m.Set(RegistryHive::kCurrentUser, u"Software\\Old", u"", Sz(u"Old.Handler"));
  m.services = {{u"DiagTrack", 2},       {u"dmwappushservice", 4}, {u"CDPUserSvc", 4},
                {u"CDPUserSvc_1a2b", 3}, {u"OneSyncSvc", 3},       {u"OneSyncSvc_9z", 3}};
  // A per-user service's state is its registry Start value: the service
  // manager reports what it loaded at boot (OneSyncSvc, just disabled).
  for (const auto& [name, start] : std::map<std::u16string, uint32_t>{
           {u"CDPUserSvc", 4}, {u"CDPUserSvc_1a2b", 3}, {u"OneSyncSvc", 4}, {u"OneSyncSvc_9z", 4}}) {
    m.Set(RegistryHive::kLocalMachine, u"SYSTEM\\CurrentControlSet\\Services\\" + name, u"Start", Dword(start));
  }
  m.tasks[u"\\Microsoft\\Windows\\Maps\\"] = {{u"MapsUpdateTask", false}, {u"MapsToastTask", true}};
  m.files[u"hosts"] = "127.0.0.1 localhost\r\n0.0.0.0\tv10.events.data.microsoft.com # .\r\n";
  m.files[u"C:\\Users\\u\\AppData\\Roaming\\Code\\User\\settings.json"] =
      "{\n  // comment\n  \"telemetry.telemetryLevel\": \"off\", /* x */\n  \"update.mode\": \"default\",\n}\n";
  m.packages[u"Microsoft.BingNews_8wekyb3d8bbwe"] = true;
  return m;
}

struct Case {
  const char* what;
  StepDef step;
  StepState state;
  std::string reason;
};

template <size_t N>
constexpr std::span<const StepParam> Params(const StepParam (&params)[N]) {
  return params;
}

TEST(CheckStep, ComparesEachFamilyAsItsStepWouldAct) {
  static constexpr StepParam kDecimal[] = {{"key", "HKLM\\Software\\Policies\\Microsoft\\Windows\\DataCollection"},
                                           {"value", "AllowTelemetry"},
                                           {"type", "REG_DWORD"},
                                           {"data", "0"}};
  static constexpr StepParam kHex[] = {{"key", "HKLM\\Software\\Policies\\Microsoft\\Windows\\DataCollection"},
                                       {"value", "Sixteen"},
                                       {"type", "REG_DWORD"},
                                       {"data", "0x10"}};
  static constexpr StepParam kExpanded[] = {{"key", "HKLM\\Software\\Policies\\Microsoft\\Windows\\DataCollection"},
                                            {"value", "Path"},
                                            {"type", "REG_SZ"},
                                            {"data", "%SYSTEMROOT%\\System32\\taskkill.exe"}};
  static constexpr StepParam kWrongType[] = {{"key", "HKLM\\Software\\Policies\\Microsoft\\Windows\\DataCollection"},
                                             {"value", "Text"},
                                             {"type", "REG_DWORD"},
                                             {"data", "0"}};
  static constexpr StepParam kValueAbsent[] = {{"key", "HKLM\\Software\\Policies\\Microsoft\\Windows\\DataCollection"},
                                               {"value", "Missing"},
                                               {"type", "REG_DWORD"},
                                               {"data", "1"}};
  static constexpr StepParam kKeyAbsent[] = {
      {"key", "HKCU\\Software\\Nothing"}, {"value", "A"}, {"type", "REG_SZ"}, {"data", "x"}};
  static constexpr StepParam kGuarded[] = {{"key", "HKCU\\Software\\Nothing"},
                                           {"value", "A"},
                                           {"type", "REG_SZ"},
                                           {"data", "x"},
                                           {"min-version", "Windows11-22H2"}};
  static constexpr StepParam kDeleteOther[] = {
      {"key", "HKCU\\Software\\Old"}, {"value", "Mode"}, {"expected-data", "Modern"}};
  static constexpr StepParam kDeleteSame[] = {
      {"key", "HKCU\\Software\\Old"}, {"value", "Mode"}, {"expected-data", "classic"}};
  static constexpr StepParam kDeleteGone[] = {{"key", "HKCU\\Software\\Old"}, {"value", "Gone"}};
  static constexpr StepParam kDeleteDefault[] = {{"key", "HKCU\\Software\\Old"}, {"value", "(default)"}};
  static constexpr StepParam kKeyGone[] = {{"key", "HKCU\\Software\\Nothing"}};
  static constexpr StepParam kDiagTrack[] = {{"service", "DiagTrack"}};
  static constexpr StepParam kPush[] = {{"service", "dmwappushservice"}};
  static constexpr StepParam kAbsentService[] = {{"service", "NoSuchService"}};
  static constexpr StepParam kPerUser[] = {{"service", "CDPUserSvc"}};
  static constexpr StepParam kPerUserDone[] = {{"service", "OneSyncSvc"}};
  static constexpr StepParam kMapsUpdate[] = {{"folder", "\\Microsoft\\Windows\\Maps\\"}, {"task", "MapsUpdateTask"}};
  static constexpr StepParam kMapsAll[] = {{"folder", "\\Microsoft\\Windows\\Maps\\"}, {"task", "Maps*"}};
  static constexpr StepParam kNoFolder[] = {{"folder", "\\Microsoft\\Nothing\\"}, {"task", "*"}};
  static constexpr StepParam kHostHalf[] = {{"domain", "v10.events.data.microsoft.com"}};
  static constexpr StepParam kEditorOff[] = {{"key", "telemetry.telemetryLevel"}, {"value", "\"off\""}};
  static constexpr StepParam kEditorManual[] = {{"key", "update.mode"}, {"value", "\"manual\""}};
  static constexpr StepParam kFiles[] = {{"pattern", "%TEMP%\\*.log"}};
  const Case cases[] = {
      {"DWORD in decimal",
       {"set-registry-value", "", StepUndo::kExact, kDecimal},
       StepState::kNotApplied,
       "value AllowTelemetry is 3, the tweak sets 0"},
      {"DWORD in hex", {"set-registry-value", "", StepUndo::kExact, kHex}, StepState::kApplied, "value Sixteen is 16"},
      {"REG_SZ with %VAR%",
       {"set-registry-value", "", StepUndo::kExact, kExpanded},
       StepState::kApplied,
       "value Path is \"C:\\Windows\\System32\\taskkill.exe\""},
      {"another type",
       {"set-registry-value", "", StepUndo::kExact, kWrongType},
       StepState::kNotApplied,
       "value Text is \"0\" (REG_SZ), the tweak writes the REG_DWORD 0"},
      {"value absent",
       {"set-registry-value", "", StepUndo::kExact, kValueAbsent},
       StepState::kNotApplied,
       "value Missing is missing, the tweak sets 1"},
      {"key absent",
       {"set-registry-value", "", StepUndo::kExact, kKeyAbsent},
       StepState::kNotApplied,
       "key HKCU\\Software\\Nothing is missing, the tweak sets value A to \"x\""},
      {"guard excludes this build",
       {"set-registry-value", "", StepUndo::kExact, kGuarded},
       StepState::kNotApplicable,
       "not for this Windows: needs Windows11-22H2 or later"},
      {"delete, other data",
       {"delete-registry-value", "", StepUndo::kExact, kDeleteOther},
       StepState::kNotApplicable,
       "value Mode holds \"Classic\", not \"Modern\": the tweak leaves it"},
      {"delete, expected data in another case",
       {"delete-registry-value", "", StepUndo::kExact, kDeleteSame},
       StepState::kNotApplied,
       "value Mode is \"Classic\", the tweak deletes it"},
      {"delete, absent",
       {"delete-registry-value", "", StepUndo::kExact, kDeleteGone},
       StepState::kApplied,
       "value Gone is absent"},
      {"delete, the key's default value",
       {"delete-registry-value", "", StepUndo::kExact, kDeleteDefault},
       StepState::kNotApplied,
       "value (default) is \"Old.Handler\", the tweak deletes it"},
      {"removed key",
       {"remove-registry-key", "", StepUndo::kExact, kKeyGone},
       StepState::kApplied,
       "key HKCU\\Software\\Nothing is absent"},
      {"created key",
       {"create-registry-key", "", StepUndo::kExact, kKeyGone},
       StepState::kNotApplied,
       "key HKCU\\Software\\Nothing is missing, the tweak creates it"},
      {"service automatic",
       {"disable-service", "", StepUndo::kExact, kDiagTrack},
       StepState::kNotApplied,
       "service DiagTrack starts Automatic (2), the tweak sets Disabled (4)"},
      {"service disabled",
       {"disable-service", "", StepUndo::kExact, kPush},
       StepState::kApplied,
       "service dmwappushservice is Disabled"},
      {"service absent",
       {"disable-service", "", StepUndo::kExact, kAbsentService},
       StepState::kNotApplicable,
       "service NoSuchService is not installed"},
      {"per-user instance manual",
       {"disable-per-user-service", "", StepUndo::kExact, kPerUser},
       StepState::kNotApplied,
       "service CDPUserSvc_1a2b starts Manual (3), the tweak sets Disabled (4)"},
      {"per-user service disabled in the registry until the next boot",
       {"disable-per-user-service", "", StepUndo::kExact, kPerUserDone},
       StepState::kApplied,
       "service OneSyncSvc (and OneSyncSvc_*) is Disabled"},
      {"task disabled",
       {"disable-scheduled-task", "", StepUndo::kExact, kMapsUpdate},
       StepState::kApplied,
       "task \\Microsoft\\Windows\\Maps\\MapsUpdateTask is disabled"},
      {"tasks by pattern",
       {"disable-scheduled-task", "", StepUndo::kExact, kMapsAll},
       StepState::kNotApplied,
       "task \\Microsoft\\Windows\\Maps\\MapsToastTask is enabled, the tweak disables it"},
      {"task folder absent",
       {"disable-scheduled-task", "", StepUndo::kExact, kNoFolder},
       StepState::kNotApplicable,
       "task \\Microsoft\\Nothing\\* does not exist"},
      {"hosts, one of two lines",
       {"add-hosts-entries", "", StepUndo::kExact, kHostHalf},
       StepState::kNotApplied,
       "the hosts file lacks the ::1 entry for v10.events.data.microsoft.com"},
      {"editor setting, file with comments",
       {"editor-setting", "", StepUndo::kExact, kEditorOff},
       StepState::kApplied,
       "\"telemetry.telemetryLevel\" is \"off\""},
      {"editor setting, other value",
       {"editor-setting", "", StepUndo::kExact, kEditorManual},
       StepState::kNotApplied,
       "\"update.mode\" has another value, the tweak sets \"manual\""},
      {"deletion",
       {"delete-files", "", StepUndo::kNone, kFiles},
       StepState::kAlwaysRuns,
       "deletes or cleans: runs every time"},
  };
  const FakeMachine fake = Sample();
  const Machine machine = fake.Reader();
  for (const Case& c : cases) {
    const StepCheck check = CheckStep(c.step, {}, machine);
    EXPECT_EQ(check.state, c.state) << c.what;
    EXPECT_EQ(check.reason, c.reason) << c.what;
  }
}

TEST(CheckTweak, CountsAppliedOverStepsWithAStateAndNeverSkipsACleaning) {
  static constexpr StepParam kPush[] = {{"service", "dmwappushservice"}};
  static constexpr StepParam kDiagTrack[] = {{"service", "DiagTrack"}};
  static constexpr StepParam kApp[] = {{"package", "Microsoft.BingNews"}};
  static constexpr StepParam kFamily[] = {{"package-family", "Microsoft.BingNews_8wekyb3d8bbwe"}};
  static constexpr StepParam kFiles[] = {{"pattern", "%TEMP%\\*.log"}};
  static constexpr StepParam kFeature[] = {{"feature", "TelnetClient"}};
  static constexpr StepDef kPartly[] = {{"disable-service", "", StepUndo::kExact, kPush},
                                        {"disable-service", "", StepUndo::kExact, kDiagTrack},
                                        {"restart-note", "", StepUndo::kNoChange, {}}};
  static constexpr StepDef kApplied[] = {{"disable-service", "", StepUndo::kExact, kPush},
                                         {"restart-note", "", StepUndo::kNoChange, {}}};
  static constexpr StepDef kAppliedButCleans[] = {{"disable-service", "", StepUndo::kExact, kPush},
                                                  {"delete-files", "", StepUndo::kNone, kFiles}};
  static constexpr StepDef kStoreApp[] = {{"uninstall-store-app", "", StepUndo::kNone, kApp},
                                          {"deprovision-store-app", "", StepUndo::kExact, kFamily}};
  static constexpr StepDef kOnlyUnknown[] = {{"disable-optional-feature", "", StepUndo::kNone, kFeature}};
  static constexpr StepDef kOnlyCleaning[] = {{"delete-files", "", StepUndo::kNone, kFiles}};
  struct TweakCase {
    std::span<const StepDef> steps;
    TweakState state;
    int32_t done;
    int32_t total;
    bool skips;
  };
  const TweakCase cases[] = {
      {kPartly, TweakState::kPartly, 1, 2, false},
      {kApplied, TweakState::kApplied, 1, 1, true},
      {kAppliedButCleans, TweakState::kApplied, 1, 1, false},
      {kStoreApp, TweakState::kNotApplied, 0, 2, false},
      {kOnlyUnknown, TweakState::kUnknown, 0, 0, false},
      {kOnlyCleaning, TweakState::kNotApplicable, 0, 0, false},
  };
  const FakeMachine fake = Sample();
  const Machine machine = fake.Reader();
  for (size_t i = 0; i < std::size(cases); ++i) {
    Tweak tweak;
    tweak.steps = cases[i].steps;
    const TweakCheck check = CheckTweak(tweak, machine);
    EXPECT_EQ(check.state, cases[i].state) << i;
    EXPECT_EQ(check.done, cases[i].done) << i;
    EXPECT_EQ(check.total, cases[i].total) << i;
    EXPECT_EQ(SkipsAsApplied(check), cases[i].skips) << i;
    EXPECT_EQ(check.steps.size(), cases[i].steps.size()) << i;
  }
}

}  // namespace
