// quarnfeld's commands over the real catalogue and dispatcher, with the run's
// batch runner and the files replaced: what it refuses before anything runs,
// the lines and exit code of a run, Ctrl+C, and the exported script's shape.
#include "cli/commands.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/selection_file.h"
#include "catalogue/tweak_index.h"
#include "cli/deploy_script.h"
#include "protocol/json_value.h"
#include "run/run_state.h"

namespace {

using Args = std::vector<std::string>;

constexpr char kFirst[] = "telemetry/disable-license-telemetry";
constexpr char kSecond[] = "telemetry/disable-diagnostic-and-usage-telemetry";
constexpr char kThird[] = "telemetry/disable-participation-in-cortana-data-collection";

struct Fake {
  std::map<std::string, std::string> files;
  std::vector<std::string> out;
  std::vector<std::string> notices;
  std::vector<std::string> ran;  // the keys whose scripts ran
  std::set<std::string> failing;
  std::set<std::string> applied;
  bool elevated = true;
  std::string cancelDuring;  // raises the cancel flag while this tweak runs, as Ctrl+C does
  std::map<std::string, std::string> written;

  int Run(const Args& args) {
    if (g_catalogue.empty()) g_catalogue = BuildCatalogue();
    CliSystem system;
    system.output.out = [this](std::string_view line) { out.emplace_back(line); };
    system.output.notice = [this](std::string_view line) { notices.emplace_back(line); };
    system.elevated = [this] { return elevated; };
    system.readFile = [this](const std::string& path, size_t maxBytes) -> std::optional<std::string> {
      const auto found = files.find(path);
      if (found == files.end()) return std::nullopt;
      return found->second.substr(0, maxBytes + 1);
    };
    system.writeFile = [this](const std::string& path, const std::string& text) {
      written[path] = text;
      return true;
    };
    system.actions.startRun = [this](std::vector<int32_t> ids, RunOptions options) {
      RunSeams seams;
      seams.runScript = [this](const char* script) {
        const Tweak* tweak = nullptr;
        for (const Tweak* candidate : UpdateTweakIndex(g_catalogue)) {
          if (candidate->script == script) tweak = candidate;
        }
        ran.push_back(tweak->key);
        if (tweak->key == cancelDuring) g_cancelRequested = true;
        BatchResult result;
        result.outcome = failing.contains(tweak->key) ? BatchOutcome::Failed : BatchOutcome::Succeeded;
        result.exitCode = failing.contains(tweak->key) ? 1 : 0;
        result.output = failing.contains(tweak->key) ? "ERROR: Access is denied.\n" : "";
        return result;
      };
      if (options.skipApplied) seams.isApplied = [this](const Tweak& tweak) { return applied.contains(tweak.key); };
      OptimizeRunWith(std::move(ids), seams);
    };
    system.actions.startWork = [](std::function<void()> job) { job(); };
    return RunCliCommand(ParseCommandLine(args), system);
  }

  std::string Notices() const {
    std::string text;
    for (const std::string& line : notices) text += line + "\n";
    return text;
  }
};

std::string Selection(const std::string& tweaks) {
  return R"({"format":"quarnfeld-selection","version":1,"tweaks":[)" + tweaks + "]}";
}

TEST(CliCommands, RefusesBadInputByNameAndRunsNothing) {
  const std::string first = std::string("\"") + kFirst + "\"";
  struct Case {
    Args args;
    std::string file;  // the content of "sel.json", if any
    int exit;
    std::string says;
    bool elevated = true;
  };
  const Case cases[] = {
      {{"apply"}, "", 2, "name the tweaks one way"},
      {{"apply", kFirst, "no/such", "--no-restore-point"}, "", 2, "no tweak has the key \"no/such\""},
      {{"apply", kFirst, kFirst}, "", 2, "named more than once: " + first},
      {{"apply", "--from", "missing.json"}, "", 2, "cannot read \"missing.json\""},
      {{"apply", "--from", "sel.json"}, "{\"format\":", 2, "is no selection file: the file is not a JSON object"},
      {{"apply", "--from", "sel.json"},
       Selection(first) + std::string(kMaxSelectionBytes, ' '),
       2,
       "larger than 1024 KiB"},
      {{"apply", "--from", "sel.json"},
       Selection(first + ",\"x/y\",\"z/w\""),
       2,
       "no tweak has the key \"x/y\", \"z/w\""},
      {{"apply", "--from", "sel.json"}, Selection(first + "," + first), 2, "named more than once: " + first},
      {{"apply", "--from", "sel.json"}, Selection(""), 2, "the selection names no tweak"},
      {{"export", "--script", "o.cmd", "--from", "sel.json"}, "[1]", 2, "no selection file"},
      {{"state", "no/such"}, "", 2, "no tweak has the key \"no/such\""},
      {{"undo", "20261209-1", "no/such"}, "", 2, "no tweak has the key \"no/such\""},
      {{"apply", kFirst}, "", 3, "needs administrator rights", false},
      {{"undo", "20261209-1"}, "", 3, "needs administrator rights", false},
  };
  for (const Case& c : cases) {
    Fake fake;
    fake.elevated = c.elevated;
    if (!c.file.empty()) fake.files["sel.json"] = c.file;
    EXPECT_EQ(fake.Run(c.args), c.exit) << c.says;
    EXPECT_NE(fake.Notices().find(c.says), std::string::npos) << fake.Notices();
    EXPECT_TRUE(fake.ran.empty() && fake.written.empty()) << c.says;
  }
}

TEST(CliCommands, PrintsOneResultPerTweakWithReasonsAndTheExitCode) {
  Fake fake;
  fake.failing = {kSecond};
  fake.applied = {kThird};
  EXPECT_EQ(fake.Run({"apply", kFirst, kSecond, kThird, "--json", "--no-restore-point"}), 1);
  EXPECT_EQ(fake.ran, (std::vector<std::string>{kFirst, kSecond}));
  ASSERT_EQ(fake.out.size(), 4u) << fake.Notices();
  const std::pair<std::string, std::string> expected[] = {{kFirst, "ok"}, {kSecond, "failed"}, {kThird, "skipped"}};
  for (size_t i = 0; i < 3; ++i) {
    const std::optional<JsonValue> line = ParseJson(fake.out[i]);
    ASSERT_TRUE(line) << fake.out[i];
    EXPECT_EQ(JsonStringMember(*line, "key"), expected[i].first);
    EXPECT_EQ(JsonStringMember(*line, "result"), expected[i].second);
  }
  EXPECT_NE(fake.out[1].find("\"reasons\":[\"ERROR: Access is denied.\"]"), std::string::npos) << fake.out[1];
  EXPECT_EQ(fake.out[3], "{\"type\":\"summary\",\"ok\":1,\"skipped\":1,\"failed\":1,\"notRun\":0}");

  Fake plain;
  plain.failing = {kFirst};
  EXPECT_EQ(plain.Run({"apply", kFirst, kSecond, "--no-skip-applied", "--no-restore-point"}), 1);
  ASSERT_EQ(plain.out.size(), 4u);
  EXPECT_TRUE(plain.out[0].starts_with("failed   ") && plain.out[0].find(kFirst) != std::string::npos);
  EXPECT_EQ(plain.out[1], "         ERROR: Access is denied.");
  EXPECT_TRUE(plain.out[2].starts_with("ok       "));
  EXPECT_EQ(plain.out[3], "2 tweaks: 1 succeeded, 0 already applied, 1 failed.");

  Fake good;
  EXPECT_EQ(good.Run({"apply", kFirst, kSecond, kThird, "--no-restore-point"}), 0);
  EXPECT_EQ(good.ran.size(), 3u);
}

TEST(CliCommands, CtrlCEndsTheRunAfterTheTweakInProgress) {
  Fake fake;
  fake.cancelDuring = kFirst;
  EXPECT_EQ(fake.Run({"apply", kFirst, kSecond, kThird, "--no-restore-point", "--json"}), 1);
  EXPECT_EQ(fake.ran, std::vector<std::string>{kFirst});
  ASSERT_FALSE(fake.out.empty());
  EXPECT_EQ(fake.out.back(), "{\"type\":\"summary\",\"ok\":1,\"skipped\":0,\"failed\":0,\"notRun\":2}");
  EXPECT_NE(fake.out[1].find("Cancelled by user; 2 not run."), std::string::npos) << fake.out[1];
}

TEST(CliCommands, ListsEveryTweakAndExportsOneScript) {
  Fake fake;
  EXPECT_EQ(fake.Run({"list", "--json"}), 0);
  ASSERT_EQ(fake.out.size(), UpdateTweakIndex(g_catalogue).size());
  std::set<std::string> keys;
  for (const std::string& line : fake.out) keys.insert(JsonStringMember(*ParseJson(line), "key").value_or(""));
  EXPECT_EQ(keys.size(), fake.out.size());

  EXPECT_EQ(fake.Run({"export", "--script", "all.cmd", "--recommended"}), 0);
  const std::string& script = fake.written.at("all.cmd");
  // ASCII with LF line ends; a call per tweak, each label once, and keys the
  // script may print bare.
  EXPECT_EQ(script.find('\r'), std::string::npos);
  for (const char c : script) ASSERT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << static_cast<int>(c);
  std::multiset<std::string> lines;
  for (size_t at = 0; at < script.size();) {
    const size_t end = script.find('\n', at);
    lines.insert(script.substr(at, end - at));
    at = end + 1;
  }
  size_t recommended = 0;
  size_t perUser = 0;
  for (const Tweak* tweak : UpdateTweakIndex(g_catalogue)) {
    for (const char c : tweak->key) ASSERT_TRUE(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '/');
    if (!tweak->recommended) continue;
    ++recommended;
    const std::string label = "qf_tweak_" + std::to_string(recommended);
    EXPECT_EQ(lines.count("call :qf_run " + label + " \"" + tweak->key + "\" " + (TweakIsPerUser(*tweak) ? "1" : "0")),
              1u);
    EXPECT_EQ(lines.count(":" + label), 1u);
    if (TweakIsPerUser(*tweak)) ++perUser;
  }
  EXPECT_EQ(fake.out.back(), "Wrote " + std::to_string(recommended) + " tweaks to all.cmd (" + std::to_string(perUser) +
                                 " per-user, passed by when it runs as SYSTEM).");
}

TEST(StepIsPerUser, ReadsHiveProfileFoldersAndFamilies) {
  const StepParam hkcu[] = {{"key", "hkcu\\Software\\X"}};
  const StepParam hklm[] = {{"key", "HKLM\\Software\\X"}, {"data", "HKCU is named here only"}};
  const StepParam profile[] = {{"directory", "C:\\x;%LocalAppData%\\Temp"}};
  const StepParam windows[] = {{"directory", "%SystemRoot%\\Temp"}};
  const std::pair<StepDef, bool> cases[] = {
      {{"set-registry-value", "", StepUndo::kExact, hkcu}, true},
      {{"set-registry-value", "", StepUndo::kExact, hklm}, false},
      {{"clear-directory-contents", "", StepUndo::kNone, profile}, true},
      {{"clear-directory-contents", "", StepUndo::kNone, windows}, false},
      {{"editor-setting", "", StepUndo::kExact, {}}, true},
      {{"disable-service", "", StepUndo::kExact, {}}, false},
  };
  for (const auto& [step, perUser] : cases) EXPECT_EQ(StepIsPerUser(step), perUser) << step.family;
}

}  // namespace
