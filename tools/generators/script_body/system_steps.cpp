// Store apps, capabilities, optional features, hosts entries, processes and
// their blocking, the editor setting, the restart note and the single steps.

#include "tools/generators/script_body/families.h"
#include "tools/generators/script_body/powershell_text.h"

#include <array>
#include <cctype>

namespace {

// Characters allowed in names that also go into plain batch text (echo,
// tasklist) and file names, where most punctuation would mean something.
bool IsPlainName(std::string_view text, std::string_view extra) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && extra.find(c) == std::string_view::npos) return false;
  }
  return true;
}

bool CheckExecutable(const SourceBlock& block, std::string* error) {
  std::string_view exe = Param(block, "executable");
  bool has_exe = exe.size() > 4 && (exe.substr(exe.size() - 4) == ".exe" || exe.substr(exe.size() - 4) == ".EXE");
  if (!IsPlainName(exe, "._- ") || !has_exe) {
    return Fail(block, "executable", "an executable file name such as app.exe (letters, digits, . _ - and space)",
                error);
  }
  return true;
}

bool ExpandUninstallStoreApp(const SourceBlock& block, std::vector<Step>* steps, std::string* error) {
  std::string_view package = Param(block, "package");
  if (!IsPlainName(package, ".-_*")) return Fail(block, "package", "a package name such as Microsoft.BingNews", error);
  Step step;
  step.header = "Uninstall '" + std::string(package) + "' Store app";
  step.script =
      JoinStatements({PsAssign("packageName", package),
                      CatchUnexpected("Get-AppxPackage -Name $packageName | Remove-AppxPackage -ErrorAction Stop")});
  steps->push_back(std::move(step));
  return true;
}

bool ExpandRemoveWindowsCapability(const SourceBlock& block, std::vector<Step>* steps, std::string* error) {
  std::string_view capability = Param(block, "capability");
  if (!IsPlainName(capability, ".-_*~")) {
    return Fail(block, "capability", "a capability name pattern such as RasCMAK.Client*", error);
  }
  Step step;
  step.script = JoinStatements(
      {PsAssign("capabilityName", capability),
       CatchUnexpected(
           "Get-WindowsCapability -Online -Name $capabilityName | Where-Object { $_.State -eq 'Installed' } | "
           "Remove-WindowsCapability -Online -ErrorAction Stop | Out-Null")});
  steps->push_back(std::move(step));
  return true;
}

constexpr std::string_view kDisableFeature = R"ps(
  $feature = Get-WindowsOptionalFeature -Online -FeatureName $featureName -ErrorAction SilentlyContinue
  if (-not $feature) {
    Write-Host "Skipping: The feature `"$featureName`" is not found. No action required."
    exit 0
  }
  if ("$($feature.State)" -like 'Disabled*') {
    Write-Host "Skipping: The feature `"$featureName`" is already disabled. No action required."
    exit 0
  }
  try {
    Write-Host "Disabling feature: `"$featureName`"."
    Disable-WindowsOptionalFeature -Online -FeatureName $featureName -NoRestart -LogLevel Errors -ErrorAction Stop | Out-Null
    Write-Host "Successfully disabled the feature `"$featureName`"."
    exit 0
  } catch {
    Write-Error "Failed to disable the feature `"$featureName`": $($_.Exception.Message)"
    exit 1
  }
)ps";

bool ExpandDisableOptionalFeature(const SourceBlock& block, std::vector<Step>* steps, std::string* error) {
  std::string_view feature = Param(block, "feature");
  if (!IsPlainName(feature, ".-_")) return Fail(block, "feature", "a feature name such as TelnetClient", error);
  Step step;
  step.header = "Disable the \"" + std::string(feature) + "\" feature";
  step.script = JoinStatements({PsAssign("featureName", feature), CatchUnexpected(JoinPowerShell(kDisableFeature))});
  steps->push_back(std::move(step));
  return true;
}

constexpr std::string_view kAddHostsEntries = R"ps(
  $hostsFilePath = "$env:SystemRoot\System32\drivers\etc\hosts"
  $utf8 = New-Object System.Text.UTF8Encoding($false)
  try {
    $hostsFileExists = Test-Path -LiteralPath $hostsFilePath -PathType Leaf -ErrorAction Stop
  } catch {
    Write-Error "Failed to check hosts file existence. Error: $_"
    exit 1
  }
  if (-not $hostsFileExists) {
    try {
      Write-Host "Creating a new hosts file at $hostsFilePath."
      New-Item -ItemType File -Path $hostsFilePath -Force -ErrorAction Stop | Out-Null
      Write-Host 'Successfully created the hosts file.'
    } catch {
      Write-Error "Failed to create the hosts file. Error: $_"
      exit 1
    }
  }
  $entryFailed = $false
  foreach ($blockingEntry in @(@{ AddressType = 'IPv4'; IPAddress = '0.0.0.0' }, @{ AddressType = 'IPv6'; IPAddress = '::1' })) {
    Write-Host "Processing addition for $($blockingEntry.AddressType) entry."
    try {
      $hostsFileContents = [System.IO.File]::ReadAllText($hostsFilePath, $utf8)
    } catch {
      Write-Error "Failed to read the hosts file. Error: $_"
      $entryFailed = $true
      continue
    }
    $hostsEntryLine = $blockingEntry.IPAddress + "`t" + $domain + ' # ' + $comment
    if (($hostsFileContents -split "`r?`n") -contains $hostsEntryLine) {
      Write-Host 'Skipping, entry already exists.'
      continue
    }
    try {
      $lineBreak = if (($hostsFileContents.Length -gt 0) -and (-not $hostsFileContents.EndsWith("`n"))) { "`r`n" } else { '' }
      [System.IO.File]::AppendAllText($hostsFilePath, "$lineBreak$hostsEntryLine`r`n", $utf8)
      Write-Host 'Successfully added the entry.'
    } catch {
      Write-Error "Failed to add the entry. Error: $_"
      $entryFailed = $true
    }
  }
  if ($entryFailed) { exit 1 }
)ps";

bool ExpandAddHostsEntries(const SourceBlock& block, std::vector<Step>* steps, std::string* error) {
  std::string_view domain = Param(block, "domain");
  if (!IsPlainName(domain, ".-")) return Fail(block, "domain", "a domain name such as telemetry.example.com", error);
  std::string_view comment = Param(block, "comment");
  Step step;
  step.header = "Add hosts entries for " + std::string(domain);
  step.script = JoinStatements({PsAssign("domain", domain), PsAssign("comment", comment.empty() ? "." : comment),
                                CatchUnexpected(JoinPowerShell(kAddHostsEntries))});
  steps->push_back(std::move(step));
  return true;
}

// A plain batch line, not PowerShell: the failure of taskkill is recorded on
// the line itself, since find's exit code would otherwise stand for the
// step's result. The branch hangs on "if errorlevel", not on "&&"/"||" after
// a group, whose outcome would depend on the exit code that "set" leaves.
bool ExpandTerminateProcess(const SourceBlock& block, std::vector<Step>* steps, std::string* error) {
  if (!CheckExecutable(block, error)) return false;
  std::string exe(Param(block, "executable"));
  Step step;
  step.header = "Check and terminate the running process \"" + exe + "\"";
  step.batch = "tasklist /fi \"ImageName eq " + exe + "\" /fo csv 2>NUL | find /i \"" + exe +
               "\" >NUL & if errorlevel 1 (echo Skipping, " + exe + " is not running.) else (echo " + exe +
               " is running and will be killed.& taskkill /f /im \"" + exe + "\" || set \"QF_FAILED=1\")";
  steps->push_back(std::move(step));
  return true;
}

bool ExpandTerminateOnStartup(const SourceBlock& block, std::vector<Step>* steps, std::string* error) {
  if (!CheckExecutable(block, error)) return false;
  std::string exe(Param(block, "executable"));
  Step step = SetRegistryValueStep(
      "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\" + exe, "Debugger",
      "REG_SZ", "%SYSTEMROOT%\\System32\\taskkill.exe");
  step.comments.push_back("Configure termination of \"" + exe + "\" immediately upon its startup");
  steps->push_back(std::move(step));
  return true;
}

constexpr std::string_view kBlockExecutable = R"ps(
  $disallowRunPath = 'HKCU:\Software\Microsoft\Windows\CurrentVersion\Policies\Explorer\DisallowRun'
  try {
    $ruleNames = @()
    if (Test-Path -LiteralPath $disallowRunPath) {
      $disallowRunKey = Get-Item -LiteralPath $disallowRunPath
      foreach ($ruleName in $disallowRunKey.GetValueNames()) {
        if ("$($disallowRunKey.GetValue($ruleName))" -eq $executableFilename) {
          Write-Host "Skipping, no action needed: '$executableFilename' is already blocked under rule index `"$ruleName`"."
          exit 0
        }
        if ($ruleName -match '^[0-9]+$') { $ruleNames += $ruleName }
      }
    }
    $nextFreeRuleIndex = 1
    while ($ruleNames -contains "$nextFreeRuleIndex") { $nextFreeRuleIndex++ }
    Write-Host "Adding block rule for `"$executableFilename`" under rule index `"$nextFreeRuleIndex`"."
    if (-not (Test-Path -LiteralPath $disallowRunPath)) { New-Item -Path $disallowRunPath -Force -ErrorAction Stop | Out-Null }
    New-ItemProperty -LiteralPath $disallowRunPath -Name "$nextFreeRuleIndex" -Value $executableFilename -PropertyType String -Force -ErrorAction Stop | Out-Null
    Write-Host "Successfully blocked `"$executableFilename`" with rule index `"$nextFreeRuleIndex`"."
  } catch {
    Write-Error "Failed to block `"$executableFilename`": $_"
    exit 1
  }
)ps";

bool ExpandBlockExecutable(const SourceBlock& block, std::vector<Step>* steps, std::string* error) {
  if (!CheckExecutable(block, error)) return false;
  std::string exe(Param(block, "executable"));
  Step step;
  step.header = "Add a rule to prevent the executable \"" + exe + "\" from running via File Explorer";
  step.script =
      JoinStatements({PsAssign("executableFilename", exe), CatchUnexpected(JoinPowerShell(kBlockExecutable))});
  steps->push_back(std::move(step));
  return true;
}

constexpr std::string_view kActivateDisallowRun = R"ps(
  $explorerPoliciesPath = 'HKCU:\Software\Microsoft\Windows\CurrentVersion\Policies\Explorer'
  try {
    $currentValue = (Get-ItemProperty -LiteralPath $explorerPoliciesPath -Name 'DisallowRun' -ErrorAction SilentlyContinue).DisallowRun
    if (($null -ne $currentValue) -and ("$currentValue" -eq '1')) {
      Write-Host 'Skipping, no action needed: DisallowRun policy is already in place.'
      exit 0
    }
    if (($null -eq $currentValue) -or ("$currentValue" -eq '')) {
      Write-Host "Creating DisallowRun policy at `"$explorerPoliciesPath`"."
    } else {
      Write-Host "Updating DisallowRun policy at `"$explorerPoliciesPath`" from `"$currentValue`" to `"1`"."
    }
    if (-not (Test-Path -LiteralPath $explorerPoliciesPath)) { New-Item -Path $explorerPoliciesPath -Force -ErrorAction Stop | Out-Null }
    New-ItemProperty -LiteralPath $explorerPoliciesPath -Name 'DisallowRun' -Value 1 -PropertyType DWord -Force -ErrorAction Stop | Out-Null
    Write-Host 'Successfully activated DisallowRun policy.'
  } catch {
    Write-Error "Failed to activate DisallowRun policy: $_"
    exit 1
  }
)ps";

bool ExpandActivateDisallowRun(const SourceBlock&, std::vector<Step>* steps, std::string*) {
  Step step;
  step.header = "Activate the DisallowRun policy to block specified programs from running via File Explorer";
  step.script = CatchUnexpected(JoinPowerShell(kActivateDisallowRun));
  steps->push_back(std::move(step));
  return true;
}

// A JSON literal the step can compare and write: true, false, null, a number,
// or a string without escapes.
bool IsJsonLiteral(std::string_view value) {
  if (value == "true" || value == "false" || value == "null") return true;
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    return value.substr(1, value.size() - 2).find_first_of("\"\\") == std::string_view::npos;
  }
  return !value.empty() && value.find_first_not_of("-+.0123456789eE") == std::string_view::npos &&
         std::isdigit(static_cast<unsigned char>(value.back()));
}

// The editor's settings file is JSON with comments and trailing commas, which
// Windows PowerShell 5.1's ConvertFrom-Json refuses (and 7's drops when it
// writes the object back). So the file is edited as text: one scan, aware of
// strings and comments, finds the top-level object and, in it, the setting's
// value; that value alone is replaced, or the setting is added after the last
// member, and every other byte of the file stays as it was.
constexpr std::string_view kEditorSetting = R"ps(
  $jsonFilePath = Join-Path $env:APPDATA 'Code\User\settings.json'
  if (-not (Test-Path -LiteralPath $jsonFilePath -PathType Leaf)) {
    Write-Host "Skipping, no updates. Settings file was not at `"$jsonFilePath`"."
    exit 0
  }
  try {
    $text = [System.IO.File]::ReadAllText($jsonFilePath)
  } catch {
    Write-Error "Error, failed to read the settings file: `"$jsonFilePath`". Error: $_"
    exit 1
  }
  if ([string]::IsNullOrWhiteSpace($text)) {
    Write-Host 'Settings file is empty. Treating it as default empty JSON object.'
    $text = '{}'
  }
  $depth = 0
  $objectEnd = -1
  $lastEnd = -1
  $expectKey = $false
  $memberKey = $null
  $afterColon = $false
  $valueStart = -1
  $foundStart = -1
  $foundEnd = -1
  $malformed = $false
  $i = 0
  while ($i -lt $text.Length) {
    $c = $text[$i]
    $tokenStart = $i
    if ($c -eq '/' -and ($i + 1) -lt $text.Length -and $text[$i + 1] -eq '/') {
      $next = $text.IndexOf("`n", $i)
      if ($next -lt 0) { $i = $text.Length } else { $i = $next }
      continue
    }
    if ($c -eq '/' -and ($i + 1) -lt $text.Length -and $text[$i + 1] -eq '*') {
      $next = $text.IndexOf('*/', $i + 2)
      if ($next -lt 0) { $malformed = $true; break }
      $i = $next + 2
      continue
    }
    if ([char]::IsWhiteSpace($c)) { $i++; continue }
    if ($objectEnd -ge 0 -or ($depth -eq 0 -and $c -ne '{')) { $malformed = $true; break }
    if ($depth -eq 1 -and ($c -eq ',' -or $c -eq '}')) {
      if ($memberKey -eq $settingKey -and $valueStart -ge 0) { $foundStart = $valueStart; $foundEnd = $lastEnd }
      $memberKey = $null
      $afterColon = $false
      $valueStart = -1
    }
    if ($c -eq '"') {
      $i++
      while ($i -lt $text.Length -and $text[$i] -ne '"') { if ($text[$i] -eq '\') { $i++ }; $i++ }
      if ($i -ge $text.Length) { $malformed = $true; break }
      $i++
      if ($depth -eq 1 -and $expectKey) { $memberKey = $text.Substring($tokenStart + 1, $i - $tokenStart - 2); $expectKey = $false }
    } elseif ($c -eq '{' -or $c -eq '[') {
      $depth++
      $i++
      if ($depth -eq 1) { $expectKey = $true; $lastEnd = $i; continue }
    } elseif ($c -eq '}' -or $c -eq ']') {
      $depth--
      $i++
      if ($depth -eq 0) { $objectEnd = $tokenStart; continue }
    } elseif ($c -eq ',') {
      $i++
      if ($depth -eq 1) { $expectKey = $true }
    } elseif ($c -eq ':') {
      $i++
      if ($depth -eq 1) { $afterColon = $true; continue }
    } else {
      while ($i -lt $text.Length -and -not [char]::IsWhiteSpace($text[$i]) -and ',:{}[]"/'.IndexOf($text[$i]) -lt 0) { $i++ }
    }
    if ($afterColon) { $valueStart = $tokenStart; $afterColon = $false }
    if ($depth -ge 1) { $lastEnd = $i }
  }
  if ($malformed -or $objectEnd -lt 0) {
    Write-Error "Error, the settings file is not a JSON object: `"$jsonFilePath`"."
    exit 1
  }
  if ($foundStart -ge 0) {
    if ($text.Substring($foundStart, $foundEnd - $foundStart) -eq $settingValue) {
      Write-Host "Skipping, `"$settingKey`" is already configured as `"$settingValue`"."
      exit 0
    }
    $text = $text.Substring(0, $foundStart) + $settingValue + $text.Substring($foundEnd)
  } else {
    $member = "`"$settingKey`": $settingValue"
    $last = $text[$lastEnd - 1]
    if ($last -eq '{') { $insert = "`n  $member`n" } elseif ($last -eq ',') { $insert = "`n  $member" } else { $insert = ",`n  $member" }
    $text = $text.Substring(0, $lastEnd) + $insert + $text.Substring($lastEnd)
  }
  try {
    [System.IO.File]::WriteAllText($jsonFilePath, $text, (New-Object System.Text.UTF8Encoding($false)))
  } catch {
    Write-Error "Error, failed to write the settings file: `"$jsonFilePath`". Error: $_"
    exit 1
  }
  Write-Host "Successfully applied the setting to the file: `"$jsonFilePath`"."
)ps";

bool ExpandEditorSetting(const SourceBlock& block, std::vector<Step>* steps, std::string* error) {
  if (!IsPlainName(Param(block, "key"), ".-_")) {
    return Fail(block, "key", "a setting key such as telemetry.enableTelemetry", error);
  }
  if (!IsJsonLiteral(Param(block, "value"))) {
    return Fail(block, "value", "a JSON value: true, false, null, a number or a \"string\" without escapes", error);
  }
  Step step;
  step.script =
      JoinStatements({PsAssign("settingKey", Param(block, "key")), PsAssign("settingValue", Param(block, "value")),
                      CatchUnexpected(JoinPowerShell(kEditorSetting))});
  steps->push_back(std::move(step));
  return true;
}

struct RestartNote {
  std::string_view restart;  // the source's name for what to restart
  std::string_view what;     // as the header names it
  std::string_view message;
};

constexpr std::array<RestartNote, 4> kRestartNotes = {{
    {"explorer", "explorer.exe",
     "This script will not take effect until you restart explorer.exe. You can restart explorer.exe by restarting your "
     "computer or by running following on command prompt: `taskkill /f /im explorer.exe & start explorer`."},
    {"edge", "Microsoft Edge", "For the changes to fully take effect, please restart Microsoft Edge."},
    {"computer", "the computer", "For the changes to fully take effect, please restart your computer."},
    {"chrome", "Google Chrome", "For the changes to fully take effect, please restart Google Chrome."},
}};

bool ExpandRestartNote(const SourceBlock& block, std::vector<Step>* steps, std::string* error) {
  for (const RestartNote& note : kRestartNotes) {
    if (note.restart != Param(block, "restart")) continue;
    Step step;
    step.header = "Suggest restarting " + std::string(note.what) + " for changes to take effect";
    step.script = JoinStatements({PsAssign("message", note.message),
                                  "Write-Host 'Note: ' -ForegroundColor Blue -NoNewline", "Write-Host $message"});
    steps->push_back(std::move(step));
    return true;
  }
  return Fail(block, "restart", "restart is explorer, edge, computer or chrome", error);
}

constexpr std::string_view kEmptyRecycleBin = R"ps(
  $deleteFailed = $false
  $recycleBin = (New-Object -ComObject Shell.Application).Namespace(0xA)
  foreach ($item in @($recycleBin.Items())) {
    Write-Host "Deleting $($item.Name) from Recycle Bin"
    try {
      Remove-Item -LiteralPath $item.Path -Recurse -Force -ErrorAction Stop
    } catch {
      Write-Error "Failed to delete $($item.Name) from Recycle Bin: $($_.Exception.Message)"
      $deleteFailed = $true
    }
  }
  if ($deleteFailed) { exit 1 }
)ps";

bool ExpandEmptyRecycleBin(const SourceBlock&, std::vector<Step>* steps, std::string*) {
  Step step;
  step.header = "Empty the Recycle Bin";
  step.script = CatchUnexpected(JoinPowerShell(kEmptyRecycleBin));
  steps->push_back(std::move(step));
  return true;
}

bool ExpandDisableNetbios(const SourceBlock&, std::vector<Step>* steps, std::string*) {
  Step step;
  step.header = "Disable NetBIOS over TCP/IP on every network interface";
  step.script = CatchUnexpected(
      "Get-ChildItem -LiteralPath 'HKLM:\\SYSTEM\\CurrentControlSet\\services\\NetBT\\Parameters\\Interfaces' "
      "-ErrorAction Stop | ForEach-Object { Set-ItemProperty -LiteralPath $_.PSPath -Name 'NetbiosOptions' -Value 2 "
      "-Type DWord -ErrorAction Stop }");
  steps->push_back(std::move(step));
  return true;
}

constexpr std::string_view kCreatePlaceholderFile = R"ps(
  $expandedPath = [System.Environment]::ExpandEnvironmentVariables($placeholderPath)
  Write-Host "Creating placeholder file at `"$expandedPath`"."
  if (Test-Path -LiteralPath $expandedPath -PathType Leaf) {
    Write-Host "Skipping file creation as `"$expandedPath`" already exists."
    exit 0
  }
  try {
    $parentFolder = [System.IO.Path]::GetDirectoryName($expandedPath)
    if (-not (Test-Path -LiteralPath $parentFolder)) { New-Item -ItemType Directory -Path $parentFolder -Force -ErrorAction Stop | Out-Null }
    New-Item -ItemType File -Path $expandedPath -Force -ErrorAction Stop | Out-Null
    Write-Host "Successfully created a placeholder file at `"$expandedPath`"."
  } catch {
    Write-Error "Failed to create a placeholder file at `"$expandedPath`": $($_.Exception.Message)"
    exit 1
  }
)ps";

bool ExpandCreatePlaceholderFile(const SourceBlock& block, std::vector<Step>* steps, std::string* error) {
  std::string_view path = Param(block, "path");
  bool absolute =
      path.size() > 3 && ((std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') || path[0] == '%');
  if (!absolute || path.find_first_of("\"*?") != std::string_view::npos) {
    return Fail(block, "path", "a file path beginning with a drive or an environment variable, without wildcards",
                error);
  }
  Step step;
  step.header = "Create a placeholder file at \"" + std::string(path) + "\".";
  step.script =
      JoinStatements({PsAssign("placeholderPath", path), CatchUnexpected(JoinPowerShell(kCreatePlaceholderFile))});
  steps->push_back(std::move(step));
  return true;
}

// Both program-files folders are searched through a wildcard after the first.
constexpr std::string_view kRunEdgeUninstaller = R"ps(
  $installerPaths = @(Get-ChildItem -Path "$env:ProgramFiles*\Microsoft\Edge\Application\*\Installer\setup.exe" -ErrorAction SilentlyContinue | Select-Object -ExpandProperty FullName)
  if ($installerPaths.Count -eq 0) {
    Write-Host 'Installer not found. Microsoft Edge may already be uninstalled.'
    exit 0
  }
  $uninstallFailed = $false
  foreach ($installerPath in $installerPaths) {
    Write-Host "Running the uninstaller `"$installerPath`"."
    $process = Start-Process -FilePath $installerPath -ArgumentList '--uninstall', '--system-level', '--verbose-logging', '--force-uninstall' -Wait -PassThru -ErrorAction Stop
    if (($process.ExitCode -eq 0) -or ($process.ExitCode -eq 19)) {
      Write-Host 'Successfully uninstalled Edge.'
    } else {
      Write-Error "Failed to uninstall, uninstaller failed with exit code $($process.ExitCode)."
      $uninstallFailed = $true
    }
  }
  if ($uninstallFailed) { exit 1 }
)ps";

bool ExpandRunEdgeUninstaller(const SourceBlock&, std::vector<Step>* steps, std::string*) {
  Step step;
  step.header = "Uninstall running the official uninstaller";
  step.script = CatchUnexpected(JoinPowerShell(kRunEdgeUninstaller));
  steps->push_back(std::move(step));
  return true;
}

constexpr std::string_view kRemoveShortcuts = R"ps(
  $shortcutPaths = @(
    "$env:ProgramData\Microsoft\Windows\Start Menu\Programs\$shortcutName.lnk",
    "$env:APPDATA\Microsoft\Windows\Start Menu\Programs\$shortcutName.lnk",
    "$env:APPDATA\Microsoft\Internet Explorer\Quick Launch\$shortcutName.lnk",
    "$env:APPDATA\Microsoft\Internet Explorer\Quick Launch\User Pinned\TaskBar\$shortcutName.lnk",
    "$env:PUBLIC\Desktop\$shortcutName.lnk",
    "$([System.Environment]::GetFolderPath('Desktop'))\$shortcutName.lnk"
  )
  $removeFailed = $false
  foreach ($shortcutPath in $shortcutPaths) {
    if (-not (Test-Path -LiteralPath $shortcutPath)) {
      Write-Host "Skipping, shortcut does not exist: `"$shortcutPath`"."
      continue
    }
    try {
      Remove-Item -LiteralPath $shortcutPath -Force -ErrorAction Stop
      Write-Host "Successfully removed shortcut: `"$shortcutPath`"."
    } catch {
      Write-Error "Encountered an issue while attempting to remove shortcut at: `"$shortcutPath`". Error: $($_.Exception.Message)"
      $removeFailed = $true
    }
  }
  if ($removeFailed) { exit 1 }
)ps";

bool ExpandRemoveShortcuts(const SourceBlock& block, std::vector<Step>* steps, std::string* error) {
  std::string_view name = Param(block, "name");
  if (!IsPlainName(name, " ._-()")) return Fail(block, "name", "a shortcut name such as Microsoft Edge", error);
  Step step;
  step.header = "Remove the \"" + std::string(name) + "\" shortcuts";
  step.script = JoinStatements({PsAssign("shortcutName", name), CatchUnexpected(JoinPowerShell(kRemoveShortcuts))});
  steps->push_back(std::move(step));
  return true;
}

constexpr std::string_view kRemoveCloudSyncNavigationEntry = R"ps(
  $namespacePath = 'HKCU:\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Desktop\NameSpace'
  if (-not (Test-Path -LiteralPath $namespacePath)) {
    Write-Host "Skipping, `"$namespacePath`" does not exist."
    exit 0
  }
  Get-ChildItem -LiteralPath $namespacePath -ErrorAction Stop | Where-Object { @('OneDrive', 'OneDrive - Personal') -contains "$($_.GetValue(''))" } | ForEach-Object {
    Write-Host "Deleting $($_.PSPath)."
    Remove-Item -LiteralPath $_.PSPath -Recurse -Force -ErrorAction Stop
  }
)ps";

bool ExpandRemoveCloudSyncNavigationEntry(const SourceBlock&, std::vector<Step>* steps, std::string*) {
  Step step;
  step.header = "Remove the OneDrive entry from the File Explorer navigation pane";
  step.script = CatchUnexpected(JoinPowerShell(kRemoveCloudSyncNavigationEntry));
  steps->push_back(std::move(step));
  return true;
}

const std::array<FamilyDef, 16> kSystemFamilies = {{
    {"uninstall-store-app", {"package"}, {}, ExpandUninstallStoreApp},
    {"remove-windows-capability", {"capability"}, {}, ExpandRemoveWindowsCapability},
    {"disable-optional-feature", {"feature"}, {}, ExpandDisableOptionalFeature},
    {"add-hosts-entries", {"domain"}, {"comment"}, ExpandAddHostsEntries},
    {"terminate-process", {"executable"}, {}, ExpandTerminateProcess},
    {"terminate-on-startup", {"executable"}, {}, ExpandTerminateOnStartup},
    {"block-executable", {"executable"}, {}, ExpandBlockExecutable},
    {"activate-disallow-run", {}, {}, ExpandActivateDisallowRun},
    {"editor-setting", {"key", "value"}, {}, ExpandEditorSetting},
    {"restart-note", {"restart"}, {}, ExpandRestartNote},
    {"empty-recycle-bin", {}, {}, ExpandEmptyRecycleBin},
    {"disable-netbios", {}, {}, ExpandDisableNetbios},
    {"create-placeholder-file", {"path"}, {}, ExpandCreatePlaceholderFile},
    {"run-edge-uninstaller", {}, {}, ExpandRunEdgeUninstaller},
    {"remove-shortcuts", {"name"}, {}, ExpandRemoveShortcuts},
    {"remove-onedrive-navigation-entry", {}, {}, ExpandRemoveCloudSyncNavigationEntry},
}};

}  // namespace

std::span<const FamilyDef> SystemFamilies() { return kSystemFamilies; }
