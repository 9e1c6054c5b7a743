// The body linter: decoding a step line as cmd and PowerShell read it, and the
// rules every body must keep, each shown failing on a body that breaks it.
#include "tools/generators/script_body/body_lint.h"
#include "tools/generators/script_body/powershell_text.h"
#include "tools/generators/script_body/script_body.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kPrefix = "PowerShell -NoProfile -NonInteractive -ExecutionPolicy Unrestricted -Command ";
const std::string kRecord = "if errorlevel 1 set \"QF_FAILED=1\"\n";
const std::string kReset = "set \"QF_FAILED=\"\n";
const std::string kExit = "if defined QF_FAILED exit /b 1\n";

std::string Decode(const std::string& line) {
  std::string script, problem;
  EXPECT_TRUE(DecodeStepLine(line, &script, &problem)) << problem;
  return script;
}

std::string DecodeProblem(const std::string& line) {
  std::string script, problem;
  EXPECT_FALSE(DecodeStepLine(line, &script, &problem)) << script;
  return problem;
}

std::string Lint(const std::string& body) { return FormatProblems(LintBody(body)); }

// A one-step templated body around the given step line.
std::string StepBody(const std::string& step_line) { return kReset + step_line + "\n" + kRecord + kExit; }

// A one-step templated body whose step runs the script (after the module
// path reset).
std::string ScriptBody(const std::string& script) {
  return StepBody(EncodeStepLine("$env:PSModulePath = \"$PSHOME\\Modules\"; " + script));
}

TEST(DecodeStepLine, HandsTheScriptOverAsCmdAndPowerShellReadIt) {
  EXPECT_EQ(Decode(kPrefix + "\"Write-Host 'a & b | c > d'\""), "Write-Host 'a & b | c > d'");
  EXPECT_EQ(Decode(kPrefix + "\"Write-Host \"^\"\"x\"^\"\"\""), "Write-Host \"x\"");
  // Two quotes in a row: "^"""^"" is two double quotes.
  EXPECT_EQ(Decode(kPrefix + "\"Write-Host \"^\"\"`\"^\"\"$a`\"^\"\"\"^\"\"\""), "Write-Host \"`\"$a`\"\"");
  EXPECT_EQ(Decode(kPrefix + "\"$p = '%%APPDATA%%\\x 100%%'\""), "$p = '%APPDATA%\\x 100%'");
  EXPECT_EQ(Decode(kPrefix + "\"$x = '^caret'\""), "$x = '^caret'");
}

TEST(DecodeStepLine, RefusesLinesThatWouldNotReachPowerShellIntact) {
  EXPECT_EQ(
      DecodeProblem("powershell -Command \"x\""),
      "a step line begins with \"PowerShell -NoProfile -NonInteractive -ExecutionPolicy Unrestricted -Command \"");
  EXPECT_EQ(DecodeProblem(kPrefix + "\"$p = '%APPDATA%'\""),
            "a single percent sign in a step line would be expanded or dropped by cmd");
  EXPECT_EQ(DecodeProblem(kPrefix + "\"a\" & \"b\""), "the cmd operator & stands outside quotes in a step line");
  EXPECT_EQ(DecodeProblem(kPrefix + "\"Write-Host \"x > y\""),
            "the cmd operator > stands outside quotes in a step line");
  EXPECT_EQ(DecodeProblem(kPrefix + "\"a\" ^"), "a caret at the end of a step line continues it on the next line");
  EXPECT_EQ(DecodeProblem(kPrefix + "\"Write-Host 'a"), "a step line leaves a double quote unbalanced");
  EXPECT_EQ(DecodeProblem(kPrefix + "Write-Host"), "the script of a step line stands in double quotes");
  EXPECT_EQ(DecodeProblem(kPrefix + "\"Write-Host \"\"x\"\"\""), "a double quote in a step script is written \"^\"\"");
  EXPECT_EQ(DecodeProblem(kPrefix + "\"$p = \"^\"\"C:\\\"^\"\"\""),
            "a backslash before a double quote would escape it in PowerShell's command line");
}

TEST(LintBody, FindsEachBrokenRule) {
  const std::string good = kPrefix + "\"$env:PSModulePath = \"^\"\"$PSHOME\\Modules\"^\"\"; Write-Host 'ok'\"";
  const std::string sep = ":: " + std::string(58, '-') + "\n";
  struct Case {
    std::string body;
    std::string problems;
  };
  const std::vector<Case> cases = {
      {"", "the body is empty\n"},
      {"echo a", "the body ends with a line feed\n"},
      {"echo a\r\n", "line 1: a carriage return (lines end with LF only)\n"},
      {std::string("echo a\0b\n", 9), "line 1: a NUL byte\n"},
      {"echo caf\xC3\xA9\n", "line 1: a byte above 127 (bodies are ASCII)\n"},
      {"echo \x1b[0m\n", "line 1: a control byte\n"},
      {"echo Done!\n", "line 1: an exclamation mark (the wrapper's delayed expansion eats it)\n"},
      {":: %~dp0\n", "line 1: \"%~\" in a comment is a batch syntax error\n"},
      {"echo " + std::string(8200, 'x') + "\n", "line 1: a line longer than cmd reads (8191 characters)\n"},
      {":: " + std::string(57, '-') + "\n", "line 1: a separator has 58 dashes\n"},
      {sep + ":: " + std::string(28, '-') + "Odd" + std::string(27, '-') + "\n" + sep,
       "line 2: a title banner is centred in dashes to 58 characters, the odd dash to the right\n"},
      {":: " + std::string(27, '-') + "Odd" + std::string(28, '-') + "\n" + sep,
       "line 1: a title banner stands between two separators\n"},
      {kReset + ":: Disable service(s): `A`\n" + kExit, "line 2: a step header is followed by its one step line\n"},
      {":: This operation will not run on Windows versions earlier than Windows10-22H2.\n",
       "line 1: a version note follows a step header\n"},
      {kReset + good + "\n" + kExit, "line 2: a step line is followed by \"if errorlevel 1 set \"QF_FAILED=1\"\"\n"},
      {good + "\n" + kRecord + kExit, "line 2: a body that records failures first clears QF_FAILED\n"},
      {kReset + good + "\n" + kRecord, "a body that records failures ends with \"if defined QF_FAILED exit /b 1\"\n"},
      {StepBody(kPrefix + "\"$p = '%APPDATA%'\""),
       "line 2: a single percent sign in a step line would be expanded or dropped by cmd\n"},
      {kReset + ":: Check and terminate the running process \"a.exe\"\n" + good + "\n" + kRecord + kExit,
       "line 2: a step header is followed by its one step line\n"},
      // Every PowerShell call carries both switches before its command, in
      // plain lines too, and a step script narrows the module path first.
      {"powershell.exe -NoProfile -Command \"Get-Date\"\n",
       "line 1: a PowerShell call without -NonInteractive before its command (it runs elevated)\n"},
      {"echo x & PowerShell -Command \"a\" -NoProfile -NonInteractive\n",
       "line 1: a PowerShell call without -NoProfile before its command (it runs elevated)\n"
       "line 1: a PowerShell call without -NonInteractive before its command (it runs elevated)\n"},
      {"if errorlevel 1 pwsh -NoProfileX -NonInteractive -c \"a\"\n",
       "line 1: a PowerShell call without -NoProfile before its command (it runs elevated)\n"},
      {StepBody(kPrefix + "\"Write-Host 'ok'\""),
       "line 2: a step script begins with \"$env:PSModulePath = \"$PSHOME\\Modules\"\"\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Lint(c.body), c.problems) << c.body.substr(0, 300);
}

// No wildcard in the path component right after a folder where any user can
// create folders (or appended to a variable naming a folder below a drive's
// root); elsewhere, and outside file paths, wildcards are fine.
TEST(LintBody, RefusesWildcardsAfterFoldersUsersCanCreate) {
  const std::string appended =
      ", which names a folder below the drive's root, where any user can create a folder it would match\n";
  struct Case {
    std::string body;
    std::string problems;
  };
  const std::vector<Case> cases = {
      // The installer search this program's Edge step used to make.
      {ScriptBody("Get-ChildItem -Path \"$env:ProgramFiles*\\Microsoft\\Edge\\Application\\*\\Installer\\setup.exe\""),
       "line 2: a wildcard appended to $env:ProgramFiles" + appended},
      {"dir /b \"%ProgramFiles(x86)%*\"\n", "line 1: a wildcard appended to %ProgramFiles(x86)%" + appended},
      {"dir /b \"C:\\Program*\\App\"\n",
       "line 1: a wildcard right after the drive's root C:\\, where any user can create a folder it would match\n"},
      {"del /q \"%ProgramData%\\*.log\"\n",
       "line 1: a wildcard right after %ProgramData%, where any user can create a folder it would match\n"},
      {ScriptBody("Get-Item -Path \"${env:LOCALAPPDATA}\\Temp?\\x\""),
       "line 2: a wildcard right after ${env:LOCALAPPDATA}, where any user can create a folder it would match\n"},
      {ScriptBody("$p = '%TEMP%*'"),
       "line 2: a wildcard appended to %TEMP%, where any user can create a folder it would match\n"},
      {"del /q \"%SystemRoot%\\Temp\\*\"\n",
       "line 1: a wildcard right after %SystemRoot%\\Temp, where any user can create a folder it would match\n"},
      {ScriptBody("Get-ChildItem -Path 'D:\\Users\\*\\AppData'"),
       "line 2: a wildcard right after D:\\Users, where any user can create a folder it would match\n"},
      // Below folders only administrators can write, after a user folder's
      // own subfolder, and in registry paths, wildcards stay.
      {"del /q \"%SYSTEMROOT%\\Prefetch\\*.pf\"\n", ""},
      {ScriptBody("$p = '%ProgramFiles%\\NVIDIA Corporation\\*'; $q = '%APPDATA%\\Microsoft\\Recent\\*.lnk'"), ""},
      {ScriptBody("Get-Item -Path 'HKCU:\\Software\\*'; $pattern = $folder + '*'"), ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Lint(c.body), c.problems) << c.body.substr(0, 300);
}

// No deletion that goes through a tree by path: rd /s, del /s and their
// kin in batch lines or scripts, PowerShell's -Recurse in a step that works
// on files, Directory.Delete with recursion.
TEST(LintBody, RefusesDeletionsThatCanFollowLinks) {
  const std::string batch =
      "\" deletes a tree by path and can be led through a junction: use Clear directory "
      "contents or Delete directory\n";
  const std::string recurse =
      "line 2: -Recurse in a step that works on files: Windows PowerShell 5.1 follows junctions through it; delete and "
      "walk trees with [QfFileTree]\n";
  struct Case {
    std::string body;
    std::string problems;
  };
  const std::vector<Case> cases = {
      {"rd /s /q \"%TEMP%\\x\"\n", "line 1: \"rd /s" + batch},
      {"if exist x RMDIR /Q /S x\n", "line 1: \"rmdir /s" + batch},
      {"for %%d in (a b) do (del /f /s /q \"%%~d\\*\" >nul 2>&1)\n", "line 1: \"del /s" + batch},
      {"erase /S x & echo done\n", "line 1: \"erase /s" + batch},
      {ScriptBody("cmd /c rd /s /q $path"), "line 2: \"rd /s" + batch},
      // The Recycle Bin step this program used to have, and the old folder walk.
      {ScriptBody("foreach ($item in @((New-Object -ComObject Shell.Application).Namespace(0xA).Items())) { "
                  "Remove-Item -LiteralPath $item.Path -Recurse -Force }"),
       recurse},
      {ScriptBody("$p = '%LOCALAPPDATA%\\Cache\\*'; Get-ChildItem -Path $p -Force -Recurse | Remove-Item -Force"),
       recurse},
      {ScriptBody("[System.IO.Directory]::Delete($path, $true)"),
       "line 2: Directory.Delete with recursion deletes a tree by path; delete trees with [QfFileTree]\n"},
      // Not a tree: non-recursive deletion, a switch of another command, and
      // a registry step.
      {"rd /q x\ndel /q /f x\necho /s\ndir /s x\n", ""},
      {ScriptBody(
           "$path = $hive + ':' + $keyName.Substring($hive.Length); Remove-Item -LiteralPath $path -Recurse -Force"),
       ""},
      {ScriptBody("[System.IO.Directory]::Delete($path, $false)"), ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Lint(c.body), c.problems) << c.body.substr(0, 300);
}

TEST(LintBody, ChecksThatVersionNotesAndGuardsAgreeAndGuardsAreComplete) {
  std::string error;
  std::string body = ExpandScriptSource(
      "disable-service:\n  service: DiagTrack\n  min-version: Windows10-22H2\n  max-version: Windows10-1909\n", &error);
  ASSERT_EQ(Lint(body), "") << error;

  // One table entry missing from the minimum switch.
  std::string incomplete = body;
  size_t entry = incomplete.find("'Windows10-21H2' { '10.0.19044' }; ");
  ASSERT_NE(entry, std::string::npos);
  incomplete.erase(entry, std::string("'Windows10-21H2' { '10.0.19044' }; ").size());
  EXPECT_EQ(Lint(incomplete), "line 5: the version guard's switch does not carry exactly the whole minimum table\n");

  // A wrong build for an entry.
  std::string wrong = body;
  wrong.replace(wrong.find("'10.0.18362'"), 12, "'10.0.18361'");
  EXPECT_EQ(Lint(wrong), "line 5: the version guard's switch does not carry exactly the whole maximum table\n");

  // The note names another version than the guard.
  std::string other = body;
  other.replace(other.find("earlier than Windows10-22H2."), 28, "earlier than Windows10-21H2.");
  EXPECT_EQ(Lint(other), "line 5: the step has no minimum version guard for Windows10-21H2\n");

  // A guard without its note.
  std::string unnoted = body;
  size_t note = unnoted.find(":: This operation will not run on Windows versions later than");
  unnoted.erase(note, unnoted.find('\n', note) + 1 - note);
  note = unnoted.find(":: This operation will not run on Windows versions earlier than");
  unnoted.erase(note, unnoted.find('\n', note) + 1 - note);
  EXPECT_EQ(Lint(unnoted), "line 3: a guarded step is preceded by its version note\n");

  // Notes in the wrong order.
  std::string swapped = ExpandScriptSource("disable-service:\n  service: A\n  min-version: Windows10-22H2\n", &error);
  swapped.insert(swapped.find(":: This operation"),
                 ":: This operation will not run on Windows versions later than Windows10-1909.\n");
  EXPECT_EQ(Lint(swapped),
            "line 4: at most one minimum note then one maximum note\n"
            "line 5: the step has no maximum version guard for Windows10-1909\n");
}

TEST(LintBody, PassesEveryExampleSourceBody) {
  int linted = 0;
  for (const auto& entry : std::filesystem::directory_iterator(QF_SCRIPT_SOURCES_DIR)) {
    if (entry.path().extension() != ".txt") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream source;
    source << in.rdbuf();
    std::string error;
    std::string body = ExpandScriptSource(source.str(), &error);
    ASSERT_FALSE(body.empty()) << entry.path() << ": " << error;
    EXPECT_EQ(Lint(body), "") << entry.path();
    ++linted;
  }
  EXPECT_GE(linted, 7);
}

}  // namespace
