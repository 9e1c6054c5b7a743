// Expanding row sources into script bodies: the exact text of each family's
// header and step line, the version guard, the parameter checks, and the
// failure bookkeeping that makes a body's exit code honest.
#include "tools/generators/script_body/script_body.h"
#include "tools/generators/script_body/body_lint.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string Expand(const std::string& source) {
  std::string error;
  std::string body = ExpandScriptSource(source, &error);
  EXPECT_FALSE(body.empty()) << error << "\nin:\n" << source;
  return body;
}

std::string ErrorOf(const std::string& source) {
  std::string error;
  EXPECT_EQ(ExpandScriptSource(source, &error), "") << source;
  return error;
}

std::vector<std::string> Lines(const std::string& body) {
  std::vector<std::string> lines;
  std::istringstream in(body);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> CommentLines(const std::string& body) {
  std::vector<std::string> comments;
  for (const std::string& line : Lines(body)) {
    if (line.rfind("::", 0) == 0) comments.push_back(line);
  }
  return comments;
}

// Every step script first narrows PowerShell's module path; the tests read
// what follows.
const std::string kModulePath = "$env:PSModulePath = \"$PSHOME\\Modules\"; ";

std::vector<std::string> Scripts(const std::string& body) {
  std::vector<std::string> scripts;
  for (const StepScript& step : StepScripts(body)) {
    EXPECT_EQ(step.script.rfind(kModulePath, 0), 0u) << step.script.substr(0, 200);
    scripts.push_back(step.script.substr(std::min(kModulePath.size(), step.script.size())));
  }
  return scripts;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

bool StartsWith(const std::string& text, const std::string& head) { return text.rfind(head, 0) == 0; }
bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

const std::string kMinimumGuard =
    "$versionName = 'Windows10-22H2'; $minVersion = switch ($versionName) { "
    "'Windows11-FirstRelease' { '10.0.22000' }; 'Windows11-22H2' { '10.0.22621' }; "
    "'Windows11-21H2' { '10.0.22000' }; 'Windows10-22H2' { '10.0.19045' }; 'Windows10-21H2' { '10.0.19044' }; "
    "'Windows10-20H2' { '10.0.19042' }; 'Windows10-1909' { '10.0.18363' }; 'Windows10-1607' { '10.0.14393' }; "
    "default { throw \"Internal error: unknown minimum Windows version name '$versionName'.\" } }; "
    "$osVersion = [System.Environment]::OSVersion.Version; "
    "$verNoPatch = [version]::new($osVersion.Major, $osVersion.Minor, $osVersion.Build); "
    "if ($verNoPatch -lt [version]$minVersion) { "
    "Write-Host \"Skipping: Windows ($verNoPatch) is below minimum $minVersion ($versionName)\"; exit 0 }";

const std::string kMaximumGuard =
    "$versionName = 'Windows10-MostRecent'; $maxVersion = switch ($versionName) { "
    "'Windows11-21H2' { '10.0.22000' }; 'Windows10-MostRecent' { '10.0.19045' }; "
    "'Windows10-22H2' { '10.0.19045' }; 'Windows10-1909' { '10.0.18363' }; 'Windows10-1903' { '10.0.18362' }; "
    "default { throw \"Internal error: unknown maximum Windows version name '$versionName'.\" } }; "
    "$osVersion = [System.Environment]::OSVersion.Version; "
    "$verNoPatch = [version]::new($osVersion.Major, $osVersion.Minor, $osVersion.Build); "
    "if ($verNoPatch -gt [version]$maxVersion) { "
    "Write-Host \"Skipping: Windows ($verNoPatch) is above maximum $maxVersion ($versionName)\"; exit 0 }";

TEST(ScriptBody, SetRegistryValueIsOneHeaderAndOneStepLineWithItsFailureBookkeeping) {
  EXPECT_EQ(Expand("set-registry-value:\n"
                   "  key: HKLM\\Software\\Policies\\Microsoft\\Windows\\DataCollection\n"
                   "  value: DisableOneSettingsDownloads\n"
                   "  type: REG_DWORD\n"
                   "  data: 1\n"),
            R"body(set "QF_FAILED="
:: Set the registry value: "HKLM\Software\Policies\Microsoft\Windows\DataCollection" value "DisableOneSettingsDownloads"
PowerShell -NoProfile -NonInteractive -ExecutionPolicy Unrestricted -Command "$env:PSModulePath = "^""$PSHOME\Modules"^""; $registryPath = 'HKLM\Software\Policies\Microsoft\Windows\DataCollection'; $data = '1'; reg add $registryPath /v 'DisableOneSettingsDownloads' /t 'REG_DWORD' /d "^""$data"^"" /f; if ($LASTEXITCODE -ne 0) { exit 1 }"
if errorlevel 1 set "QF_FAILED=1"
if defined QF_FAILED exit /b 1
)body");
}

TEST(ScriptBody, QuoteBacktickAndPercentVariableReachPowerShellAsWritten) {
  // Single quotes are doubled in the PowerShell string, backticks stay (they
  // mean nothing in single quotes), every percent sign is doubled so cmd hands
  // it over; the step expands the environment variable itself.
  std::string body = Expand(
      "set-registry-value:\n"
      "  key: HKCU\\Software\\Quarnfeld Test\n"
      "  value: It's `odd`\n"
      "  type: REG_SZ\n"
      "  data: %APPDATA%\\It's `odd` 50%\n");
  std::vector<std::string> lines = Lines(body);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[1], ":: Set the registry value: \"HKCU\\Software\\Quarnfeld Test\" value \"It's `odd`\"");
  EXPECT_EQ(
      lines[2],
      R"line(PowerShell -NoProfile -NonInteractive -ExecutionPolicy Unrestricted -Command "$env:PSModulePath = "^""$PSHOME\Modules"^""; $registryPath = 'HKCU\Software\Quarnfeld Test'; $data = '%%APPDATA%%\It''s `odd` 50%%'; $data = [System.Environment]::ExpandEnvironmentVariables($data); reg add $registryPath /v 'It''s `odd`' /t 'REG_SZ' /d "^""$data"^"" /f; if ($LASTEXITCODE -ne 0) { exit 1 }")line");

  // A double quote inside the script is written "^"" and decodes back to one.
  body = Expand(
      "delete-registry-value:\n"
      "  key: HKCU\\Software\\Classes\\.txt\n"
      "  value: Say \"hi\" `now` %TEMP%\n");
  lines = Lines(body);
  EXPECT_EQ(lines[1],
            ":: Delete the registry value \"Say \"hi\" `now` %TEMP%\" from the key \"HKCU\\Software\\Classes\\.txt\" ");
  EXPECT_TRUE(StartsWith(
      lines[2],
      R"line(PowerShell -NoProfile -NonInteractive -ExecutionPolicy Unrestricted -Command "$env:PSModulePath = "^""$PSHOME\Modules"^""; $keyName = 'HKCU\Software\Classes\.txt'; $valueName = 'Say "^""hi"^"" `now` %%TEMP%%'; try { $hive = $keyName.Split('\')[0]; )line"))
      << lines[2];
  ASSERT_EQ(Scripts(body).size(), 1u);
  EXPECT_TRUE(StartsWith(Scripts(body)[0],
                         "$keyName = 'HKCU\\Software\\Classes\\.txt'; $valueName = 'Say \"hi\" `now` %TEMP%'; try { "));
}

TEST(ScriptBody, VersionGuardCarriesTheWholeTableOfItsKindMinimumFirst) {
  std::string body = Expand(
      "remove-registry-key:\n"
      "  key: HKCU\\Software\\Test\n"
      "  max-version: Windows10-MostRecent\n"
      "  min-version: Windows10-22H2\n");
  std::vector<std::string> lines = Lines(body);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[1], ":: Remove the registry key \"HKCU\\Software\\Test\" ");
  EXPECT_EQ(lines[2], ":: This operation will not run on Windows versions earlier than Windows10-22H2.");
  EXPECT_EQ(lines[3], ":: This operation will not run on Windows versions later than Windows10-MostRecent.");
  std::vector<std::string> scripts = Scripts(body);
  ASSERT_EQ(scripts.size(), 1u);
  EXPECT_TRUE(
      StartsWith(scripts[0], kMinimumGuard + "; " + kMaximumGuard + "; $keyName = 'HKCU\\Software\\Test'; try { "))
      << scripts[0];
}

TEST(ScriptBody, EveryFamilyWritesItsHeaderLines) {
  struct Case {
    std::string source;
    std::vector<std::string> comments;
  };
  const std::vector<Case> cases = {
      {"delete-registry-value:\n  key: HKCU\\Software\\A\\UserChoice\n  value: ProgId\n"
       "  with-additional-permissions: yes\n",
       {":: Delete the registry value \"ProgId\" from the key \"HKCU\\Software\\A\\UserChoice\" (with additional "
        "permissions)"}},
      {"create-registry-key:\n  key: HKLM\\SOFTWARE\\Test\n", {":: Create \"HKLM\\SOFTWARE\\Test\" registry key"}},
      {"deprovision-store-app:\n  package-family: Microsoft.BingNews_8wekyb3d8bbwe\n",
       {":: Mark 'Microsoft.BingNews' as deprovisioned to block reinstall during Windows updates.",
        ":: Create \"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Appx\\AppxAllUserStore\\Deprovisioned\\"
        "Microsoft.BingNews_8wekyb3d8bbwe\" registry key"}},
      {"clear-registry-values:\n  key: HKCU\\Software\\Test\n",
       {":: Clear registry values from \"HKCU\\Software\\Test\" "}},
      {"clear-registry-values:\n  key: HKCU\\Software\\Test\n  recursive: yes\n",
       {":: Clear registry values from \"HKCU\\Software\\Test\" (recursively)"}},
      {"clear-directory-contents:\n  directory: %TEMP%\n", {":: Clear directory contents  : \"%TEMP%\""}},
      {"clear-directory-contents:\n  directory: %TEMP%\n  with-additional-permissions: yes\n",
       {":: Clear directory contents (with additional permissions): \"%TEMP%\""}},
      {"clear-directory-contents:\n  directory: %TEMP%; C:\\Logs\\*\n",
       {":: Clear directory contents  : \"%TEMP%\" \"C:\\Logs\""}},
      {"delete-files:\n  pattern: %TEMP%\\Test\\*.log\n",
       {":: Delete files matching pattern: \"%TEMP%\\Test\\*.log\""}},
      {"delete-files:\n  pattern: %TEMP%\\Test\\*\n  with-additional-permissions: yes\n",
       {":: Delete files matching pattern: \"%TEMP%\\Test\\*\""}},
      {"delete-directory:\n  directory: %TEMP%\\Old\n", {":: Delete directory  : \"%TEMP%\\Old\""}},
      {"soft-delete:\n  pattern: C:\\Test\\*.dll\n", {":: Soft delete files matching pattern: \"C:\\Test\\*.dll\""}},
      {"soft-delete:\n  pattern: C:\\Test\\*.dll\n  with-additional-permissions: yes\n",
       {":: Soft delete files matching pattern: \"C:\\Test\\*.dll\" with additional permissions"}},
      {"disable-service:\n  service: DiagTrack\n", {":: Disable service(s): `DiagTrack`"}},
      {"disable-per-user-service:\n  service: CDPUserSvc\n",
       {":: Disable per-user \"CDPUserSvc\" service for all users", ":: Disable the service `CDPUserSvc`",
        ":: Disable the service `CDPUserSvc_*`"}},
      {"stop-service:\n  service: wuauserv\n", {":: Stop service: wuauserv (with state file) (wait until stopped)"}},
      {"start-service:\n  service: wuauserv\n", {":: Start service: wuauserv (if state requires)"}},
      {"disable-scheduled-task:\n  folder: \\Microsoft\\Windows\\Maps\\\n  task: MapsUpdateTask\n",
       {":: Disable scheduled task(s): `\\Microsoft\\Windows\\Maps\\MapsUpdateTask`"}},
      {"uninstall-store-app:\n  package: Microsoft.BingNews\n", {":: Uninstall 'Microsoft.BingNews' Store app"}},
      {"remove-windows-capability:\n  capability: RasCMAK.Client*\n", {}},
      {"disable-optional-feature:\n  feature: TelnetClient\n", {":: Disable the \"TelnetClient\" feature"}},
      {"add-hosts-entries:\n  domain: telemetry.example.com\n", {":: Add hosts entries for telemetry.example.com"}},
      {"terminate-process:\n  executable: app.exe\n", {":: Check and terminate the running process \"app.exe\""}},
      {"terminate-on-startup:\n  executable: app.exe\n",
       {":: Configure termination of \"app.exe\" immediately upon its startup",
        ":: Set the registry value: \"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution "
        "Options\\app.exe\" value \"Debugger\""}},
      {"block-executable:\n  executable: app.exe\n",
       {":: Add a rule to prevent the executable \"app.exe\" from running via File Explorer"}},
      {"activate-disallow-run:\n",
       {":: Activate the DisallowRun policy to block specified programs from running via File Explorer"}},
      {"editor-setting:\n  key: telemetry.enableTelemetry\n  value: false\n", {}},
      {"restart-note:\n  restart: explorer\n", {":: Suggest restarting explorer.exe for changes to take effect"}},
      {"restart-note:\n  restart: edge\n", {":: Suggest restarting Microsoft Edge for changes to take effect"}},
      {"restart-note:\n  restart: computer\n", {":: Suggest restarting the computer for changes to take effect"}},
      {"restart-note:\n  restart: chrome\n", {":: Suggest restarting Google Chrome for changes to take effect"}},
      {"empty-recycle-bin:\n", {":: Empty the Recycle Bin"}},
      {"disable-netbios:\n", {":: Disable NetBIOS over TCP/IP on every network interface"}},
      {"create-placeholder-file:\n  path: %LOCALAPPDATA%\\Test\\placeholder\n",
       {":: Create a placeholder file at \"%LOCALAPPDATA%\\Test\\placeholder\"."}},
      {"run-edge-uninstaller:\n", {":: Uninstall running the official uninstaller"}},
      {"remove-shortcuts:\n  name: Microsoft Edge\n", {":: Remove the \"Microsoft Edge\" shortcuts"}},
      {"remove-onedrive-navigation-entry:\n", {":: Remove the OneDrive entry from the File Explorer navigation pane"}},
  };
  for (const Case& c : cases) {
    std::string body = Expand(c.source);
    EXPECT_EQ(CommentLines(body), c.comments) << c.source;
    EXPECT_EQ(FormatProblems(LintBody(body)), "") << c.source;
  }
}

TEST(ScriptBody, RestartNotesPrintTheirFourMessagesAfterABlueNote) {
  const std::vector<std::pair<std::string, std::string>> notes = {
      {"explorer",
       "This script will not take effect until you restart explorer.exe. You can restart explorer.exe by restarting "
       "your computer or by running following on command prompt: `taskkill /f /im explorer.exe & start explorer`."},
      {"edge", "For the changes to fully take effect, please restart Microsoft Edge."},
      {"computer", "For the changes to fully take effect, please restart your computer."},
      {"chrome", "For the changes to fully take effect, please restart Google Chrome."},
  };
  for (const auto& [restart, message] : notes) {
    std::vector<std::string> scripts = Scripts(Expand("restart-note:\n  restart: " + restart + "\n"));
    ASSERT_EQ(scripts.size(), 1u);
    EXPECT_EQ(scripts[0], "$message = '" + message +
                              "'; Write-Host 'Note: ' -ForegroundColor Blue -NoNewline; Write-Host $message");
  }
}

TEST(ScriptBody, TerminateProcessIsAPlainBatchLineThatRecordsItsOwnFailure) {
  std::vector<std::string> lines = Lines(Expand("terminate-process:\n  executable: app.exe\n"));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2],
            "tasklist /fi \"ImageName eq app.exe\" /fo csv 2>NUL | find /i \"app.exe\" >NUL & if errorlevel 1 (echo "
            "Skipping, app.exe is not running.) else (echo app.exe is running and will be killed.& taskkill /f /im "
            "\"app.exe\" || set \"QF_FAILED=1\")");
  EXPECT_EQ(lines[3], "if defined QF_FAILED exit /b 1");
}

TEST(ScriptBody, FilePathsAreFormedFromTheGivenDirectory) {
  auto first_assignment = [](const std::string& source) {
    std::string script = Scripts(Expand(source)).at(0);
    return script.substr(0, script.find(';'));
  };
  EXPECT_EQ(first_assignment("clear-directory-contents:\n  directory: C:\\A\n"), "$directoryPaths = @('C:\\A')");
  EXPECT_EQ(first_assignment("clear-directory-contents:\n  directory: C:\\A\\\n"), "$directoryPaths = @('C:\\A')");
  EXPECT_EQ(first_assignment("clear-directory-contents:\n  directory: C:\\A\\*\n"), "$directoryPaths = @('C:\\A')");
  EXPECT_EQ(first_assignment("clear-directory-contents:\n  directory: C:\\A;%TEMP%\\It's\\ \n"),
            "$directoryPaths = @('C:\\A', '%TEMP%\\It''s')");
  EXPECT_EQ(first_assignment("delete-directory:\n  directory: C:\\A\n"), "$directoryPath = 'C:\\A'");
  EXPECT_EQ(first_assignment("delete-directory:\n  directory: C:\\A\\\n"), "$directoryPath = 'C:\\A'");
  EXPECT_EQ(first_assignment("delete-files:\n  pattern: C:\\A\\*.log\n"), "$pathGlobPattern = 'C:\\A\\*.log'");
}

// The file steps work through [QfFileTree]: what each variant adds to the
// script, and that none of them deletes or walks a tree by path.
TEST(ScriptBody, FileStepsWorkThroughTheFileTreeType) {
  auto script = [](const std::string& source) { return Scripts(Expand(source)).at(0); };
  const std::string clear = script("clear-directory-contents:\n  directory: C:\\A\n");
  const std::string files = script("delete-files:\n  pattern: C:\\A\\*.log\n");
  const std::string folders = script("delete-directory:\n  directory: C:\\A\n");
  const std::string renames = script("soft-delete:\n  pattern: C:\\A\\*.dll\n");
  for (const std::string& text : {clear, files, folders, renames}) {
    EXPECT_TRUE(Has(text, "public static IntPtr OpenFolder(string path, out string why)")) << text.substr(0, 300);
    EXPECT_TRUE(Has(text, "0x200020")) << "objects are opened as themselves";
    EXPECT_FALSE(Has(text, "-Recurse"));
    EXPECT_FALSE(Has(text, "takeown"));
    // The compiler's files go to the system's temporary folder, not the user's.
    EXPECT_LT(text.find("$env:TMP = $env:TEMP = Join-Path ([System.Environment]::GetFolderPath('Windows')) 'Temp'"),
              text.find("Add-Type"));
  }
  // Clearing deletes each entry with its contents; a file pattern deletes
  // files only; Delete directory prunes; Soft delete renames.
  EXPECT_TRUE(Has(clear, "[QfFileTree]::Remove($folder, $entry.Name, \"$folderPath\\$($entry.Name)\", $true)"));
  EXPECT_TRUE(Has(files, "[QfFileTree]::Remove($folder, $entry.Name, $path, $false)"));
  EXPECT_TRUE(Has(folders, "[QfFileTree]::Prune($folder, $folderPath)"));
  EXPECT_FALSE(Has(folders, "[QfFileTree]::Remove($folder"));
  EXPECT_TRUE(Has(renames, "[QfFileTree]::Rename($folder, $entry.Name, $entry.Name + '.OLD')"));
  // The user shell folder guard runs before anything is opened.
  EXPECT_LT(folders.find("User Shell Folders"), folders.find("[QfFileTree]::OpenFolder("));

  // A %TEMP% path is checked to name a Temp or Tmp folder; other paths are not.
  EXPECT_TRUE(Has(script("clear-directory-contents:\n  directory: C:\\A; %tmp%\\B\n"), "-match '^%(TEMP|TMP)%'"));
  EXPECT_FALSE(Has(clear, "(TEMP|TMP)"));

  // Recursion in Soft delete opens each folder again, never a link.
  const std::string descent = "Rename-MatchingFiles $child $path";
  EXPECT_TRUE(Has(script("soft-delete:\n  pattern: C:\\A\\*.dll\n  recursive: yes\n"), descent));
  EXPECT_FALSE(Has(renames, descent));

  // With additional permissions: the privileges and backup semantics, and no
  // access rule is changed.
  for (const std::string& source :
       {std::string("clear-directory-contents:\n  directory: C:\\A\n"),
        std::string("delete-files:\n  pattern: C:\\A\\*\n"), std::string("soft-delete:\n  pattern: C:\\A\\b.dll\n")}) {
    const std::string plain = script(source);
    const std::string privileged = script(source + "  with-additional-permissions: yes\n");
    EXPECT_FALSE(Has(plain, "[QfFileTree]::Backup = $true"));
    EXPECT_TRUE(Has(privileged, "if (-not [QfTokenPrivilege]::Enable())"));
    EXPECT_LT(privileged.find("[QfTokenPrivilege]::Enable()"), privileged.find("[QfFileTree]::Backup = $true"));
    EXPECT_FALSE(Has(privileged, "Set-Acl"));
  }
}

TEST(ScriptBody, VariantsChangeWhatTheStepDoes) {
  auto script = [](const std::string& source) { return Scripts(Expand(source)).at(0); };
  const std::string recursion = "Clear-RegistryValues \"$keyName\\$subKeyName\"";
  EXPECT_TRUE(Has(script("clear-registry-values:\n  key: HKCU\\A\n  recursive: yes\n"), recursion));
  EXPECT_FALSE(Has(script("clear-registry-values:\n  key: HKCU\\A\n"), recursion));
  EXPECT_FALSE(Has(script("clear-registry-values:\n  key: HKCU\\A\n  recursive: no\n"), recursion));

  EXPECT_TRUE(Has(script("disable-scheduled-task:\n  folder: \\A\\\n  task: B\n  with-additional-permissions: yes\n"),
                  "System32\\Tasks"));
  EXPECT_TRUE(
      Has(script("delete-registry-value:\n  key: HKCU\\A\n  value: B\n  expected-data: C\n"), "$expectedData = 'C'"));

  std::vector<std::string> per_user = Scripts(Expand("disable-per-user-service:\n  service: CDPUserSvc\n"));
  ASSERT_EQ(per_user.size(), 2u);
  EXPECT_TRUE(StartsWith(per_user[0], "$serviceQuery = 'CDPUserSvc'; "));
  EXPECT_TRUE(StartsWith(per_user[1], "$serviceQuery = 'CDPUserSvc_*'; "));
}

TEST(ScriptBody, TemplatedBodyClearsRecordsAndReportsFailures) {
  std::vector<std::string> lines =
      Lines(Expand("title: Tweak\n"
                   "plain:\n"
                   "  echo first\n"
                   "disable-service:\n"
                   "  service: DiagTrack\n"
                   "restart-note:\n"
                   "  restart: computer\n"
                   "separator\n"));
  ASSERT_EQ(lines.size(), 13u);
  EXPECT_EQ(lines[3], "echo first");
  EXPECT_EQ(lines[4], "set \"QF_FAILED=\"");  // before the first templated step, after plain lines
  EXPECT_EQ(lines[5], ":: Disable service(s): `DiagTrack`");
  EXPECT_TRUE(StartsWith(lines[6], "PowerShell -NoProfile -NonInteractive -ExecutionPolicy Unrestricted -Command \""));
  EXPECT_EQ(lines[7], "if errorlevel 1 set \"QF_FAILED=1\"");
  EXPECT_EQ(lines[8], ":: Suggest restarting the computer for changes to take effect");
  EXPECT_EQ(lines[10], "if errorlevel 1 set \"QF_FAILED=1\"");
  EXPECT_EQ(lines[11], ":: ----------------------------------------------------------");
  EXPECT_EQ(lines[12], "if defined QF_FAILED exit /b 1");
}

TEST(ScriptBody, PlainCommandListsKeepTheirOwnSemantics) {
  std::string body = Expand(
      "plain:\n"
      "  reg add \"HKCU\\Control Panel\\Desktop\" /v MenuShowDelay /t REG_SZ /d 0 /f >nul 2>&1\n"
      "  powercfg -h off\n"
      "  goto :eof\n");
  EXPECT_EQ(body,
            "reg add \"HKCU\\Control Panel\\Desktop\" /v MenuShowDelay /t REG_SZ /d 0 /f >nul 2>&1\n"
            "powercfg -h off\n"
            "goto :eof\n");
}

TEST(ScriptBody, TitleBannerIsCentredInDashesWithTheOddDashToTheRight) {
  std::vector<std::string> lines = Lines(Expand("title: Odd\ntitle: Even\n"));
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], ":: " + std::string(58, '-'));
  EXPECT_EQ(lines[1], ":: " + std::string(27, '-') + "Odd" + std::string(28, '-'));
  EXPECT_EQ(lines[4], ":: " + std::string(27, '-') + "Even" + std::string(27, '-'));
  std::string long_title(60, 'x');
  EXPECT_EQ(Lines(Expand("title: " + long_title + "\n"))[1], ":: " + long_title);
}

TEST(ScriptBody, EveryTemplatedStepCanReportFailureExceptTheRestartNote) {
  for (const auto& entry : std::filesystem::directory_iterator(QF_SCRIPT_SOURCES_DIR)) {
    if (entry.path().extension() != ".txt") continue;
    for (const std::string& script : Scripts(Expand(ReadFile(entry.path())))) {
      if (StartsWith(script, "$message = ")) continue;
      EXPECT_TRUE(Has(script, "exit 1")) << entry.path() << ": " << script.substr(0, 200);
    }
  }
}

TEST(ScriptBody, ExampleSourcesExpandToTheirReviewedBodies) {
  // Each tests/script_sources/NAME.txt has its body in NAME.body; after a
  // deliberate template change, rewrite them with
  //   build/native/host-tools/script_body/body_check --print NAME.txt > NAME.body
  int compared = 0;
  for (const auto& entry : std::filesystem::directory_iterator(QF_SCRIPT_SOURCES_DIR)) {
    if (entry.path().extension() != ".txt") continue;
    std::filesystem::path golden = entry.path();
    golden.replace_extension(".body");
    std::vector<std::string> expected = Lines(ReadFile(golden));
    std::vector<std::string> actual = Lines(Expand(ReadFile(entry.path())));
    ++compared;
    ASSERT_EQ(actual.size(), expected.size()) << golden;
    for (size_t i = 0; i < actual.size(); ++i) {
      ASSERT_EQ(actual[i], expected[i]) << golden << " line " << i + 1;
    }
  }
  EXPECT_GE(compared, 7);
}

TEST(ScriptBody, ParametersAreCheckedAndErrorsNameTheLine) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"title: t\nset-value:\n", "line 2: unknown step family \"set-value\""},
      {"disable-service:\n  service: A\n  start: no\n", "line 3: disable-service takes no parameter \"start\""},
      {"disable-service:\n", "line 1: disable-service needs \"service\""},
      {"clear-registry-values:\n  key: HKCU\\A\n  recursive: true\n", "line 3: \"recursive\" is yes or no"},
      {"disable-service:\n  service: A\n  min-version: Windows12\n",
       "line 3: unknown minimum version name \"Windows12\""},
      {"disable-service:\n  service: A\n  max-version: Windows10-1607\n",
       "line 3: unknown maximum version name \"Windows10-1607\""},
      {"terminate-process:\n  executable: a.exe\n  min-version: Windows10-1607\n",
       "line 3: terminate-process takes no parameter \"min-version\""},
      {"disable-service:\n  service: Stop!\n",
       "line 2: an exclamation mark would be eaten by the batch wrapper's delayed expansion"},
      {"plain:\n  echo Done!\n", "line 2: an exclamation mark would be eaten by the batch wrapper's delayed expansion"},
      {"comment: caf\xC3\xA9\n", "line 1: only printable ASCII characters are allowed"},
      {"comment: %~dp0\n", "line 1: \"%~\" is a batch syntax error even in a comment"},
      {"remove-registry-key:\n  key: HKCR\\A\n", "line 2: a registry key of this family begins with HKLM\\ or HKCU\\"},
      {"set-registry-value:\n  key: HKEY_LOCAL_MACHINE\\A\n  value: v\n  type: REG_SZ\n  data: d\n",
       "line 2: a registry key begins with HKLM\\, HKCU\\, HKCR\\, HKU\\ or HKCC\\"},
      {"create-registry-key:\n  key: HKLM\\A\\\n",
       "line 2: a registry key names a key below its hive, without an empty or trailing segment"},
      {"set-registry-value:\n  key: HKLM\\A\n  value: v\n  type: REG_DWORD\n  data: 4294967296\n",
       "line 5: REG_DWORD data is a whole number (decimal or 0x hexadecimal) in range"},
      {"set-registry-value:\n  key: HKLM\\A\n  value: v\n  type: REG_DWORD\n  data: -1\n",
       "line 5: REG_DWORD data is a whole number (decimal or 0x hexadecimal) in range"},
      {"set-registry-value:\n  key: HKLM\\A\n  value: v\n  type: REG_SZ\n  data: say \"hi\"\n",
       "line 5: reg.exe cannot be given a double quote here"},
      {"set-registry-value:\n  key: HKLM\\A\n  value: v\n  type: REG_SZ\n  data: C:\\Dir\\\n",
       "line 5: reg.exe cannot be given a trailing backslash here"},
      {"set-registry-value:\n  key: HKLM\\A\n  value: v\n  type: REG_BINARY\n  data: 00\n",
       "line 4: type is REG_DWORD, REG_QWORD or REG_SZ"},
      {"clear-directory-contents:\n  directory: Temp\\Cache\n",
       "line 2: a path begins with a drive (C:\\...) or an environment variable (%NAME%)"},
      {"clear-directory-contents:\n  directory: C:\\\n",
       "line 2: a path begins with a drive (C:\\...) or an environment variable (%NAME%)"},
      {"delete-files:\n  pattern: C:\\Logs\\*\\today.log\n",
       "line 2: a pattern ends with the file names it matches; only that last part holds wildcards"},
      {"soft-delete:\n  pattern: C:\\Logs\\\n",
       "line 2: a pattern ends with the file names it matches; only that last part holds wildcards"},
      {"clear-directory-contents:\n  directory: C:\\A; Temp\n",
       "line 2: a path begins with a drive (C:\\...) or an environment variable (%NAME%)"},
      {"delete-directory:\n  directory: C:\\A;C:\\B\n", "line 2: a path cannot hold a double quote or a semicolon"},
      {"delete-directory:\n  directory: C:\\A\n  with-additional-permissions: yes\n",
       "line 3: delete-directory takes no parameter \"with-additional-permissions\""},
      {"terminate-process:\n  executable: a&b.exe\n",
       "line 2: an executable file name such as app.exe (letters, digits, . _ - and space)"},
      {"editor-setting:\n  key: a.b\n  value: {\"x\": 1}\n",
       "line 3: a JSON value: true, false, null, a number or a \"string\" without escapes"},
      {"restart-note:\n  restart: browser\n", "line 2: restart is explorer, edge, computer or chrome"},
      {"disable-scheduled-task:\n  folder: Microsoft\\Windows\n  task: A\n",
       "line 2: a task folder begins and ends with a backslash, e.g. \\Microsoft\\Windows\\Maps\\"},
      {"deprovision-store-app:\n  package-family: Microsoft.BingNews\n",
       "line 2: a package family name is NAME_PUBLISHERID"},
      {"title: t\ndelete-registry-value:\n  key: HKCU\\" + std::string(2000, 'k') +
           "\n  value: v\n  with-additional-permissions: yes\n  min-version: Windows10-1607\n",
       "line 2: the step line would be longer than the 8191 characters cmd reads"},
      {"cost: cheap\n", "line 1: unknown cost class \"cheap\" (none, data, feature, breaks, protection)"},
      {"cost-ru: Deletes the files.\n", "line 1: cost-ru needs a Russian sentence"},
      {"docs: caf\xC3\xA9\n", "line 1: only printable ASCII characters are allowed"},
  };
  for (const auto& [source, error] : cases) EXPECT_EQ(ErrorOf(source), error);
  // In range and in hexadecimal.
  EXPECT_NE(Expand("set-registry-value:\n  key: HKLM\\A\n  value: v\n  type: REG_DWORD\n  data: 0xFFFFFFFF\n"), "");
}

}  // namespace
