#include "cli/deploy_script.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace {

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
         });
}

bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
  for (size_t at = 0; at + part.size() <= text.size(); ++at) {
    if (StartsWithIgnoringCase(text.substr(at), part)) return true;
  }
  return false;
}

// Families that act for the user they run as whatever their parameters say:
// the editor's settings under %APPDATA%, the Explorer policies under HKCU,
// Store apps removed for the current user, the user's recycle bin.
constexpr std::string_view kPerUserFamilies[] = {"editor-setting", "block-executable", "activate-disallow-run",
                                                 "uninstall-store-app", "empty-recycle-bin"};

constexpr std::string_view kProfileVariables[] = {"%APPDATA%",  "%LOCALAPPDATA%", "%USERPROFILE%", "%TEMP%",    "%TMP%",
                                                  "%HOMEPATH%", "%HOMEDRIVE%",    "%ONEDRIVE%",    "%USERNAME%"};

// The runner's header (kBatchHeader) for one tweak inside the script: its own
// environment scope with delayed expansion and LOG discarded. The code page
// is set once for the whole script.
constexpr char kTweakHeader[] = "setlocal EnableDelayedExpansion\nset \"LOG=NUL\"\n";

// Runs one tweak: %1 its label, %2 its key, %3 1 when it is per-user. Its
// result goes into the counters of the script's own scope, which the
// tweak's setlocal cannot touch.
constexpr char kRunOne[] =
    ":qf_run\n"
    "if \"%~3\"==\"1\" if defined QF_SYSTEM (\n"
    "  echo [SKIP] %~2: per-user, and this runs as SYSTEM\n"
    "  set /a QF_PERUSER+=1\n"
    "  exit /b 0\n"
    ")\n"
    "call :%~1\n"
    "if errorlevel 1 (\n"
    "  echo [FAIL] %~2: exit code !errorlevel!\n"
    "  set /a QF_FAILED+=1\n"
    ") else (\n"
    "  echo [OK] %~2\n"
    "  set /a QF_OK+=1\n"
    ")\n"
    "exit /b 0\n";

}  // namespace

bool StepIsPerUser(const StepDef& step) {
  const std::string_view family = step.family == nullptr ? "" : step.family;
  if (std::find(std::begin(kPerUserFamilies), std::end(kPerUserFamilies), family) != std::end(kPerUserFamilies)) {
    return true;
  }
  for (const StepParam& param : step.params) {
    const std::string_view value = param.value == nullptr ? "" : param.value;
    if (StartsWithIgnoringCase(value, "HKCU\\") || StartsWithIgnoringCase(value, "HKEY_CURRENT_USER\\")) return true;
    for (const std::string_view variable : kProfileVariables) {
      if (ContainsIgnoringCase(value, variable)) return true;
    }
  }
  return false;
}

bool TweakIsPerUser(const Tweak& tweak) { return std::any_of(tweak.steps.begin(), tweak.steps.end(), StepIsPerUser); }

std::string WriteDeployScript(const std::vector<const Tweak*>& tweaks, const std::string& version) {
  const std::string count = std::to_string(tweaks.size());
  std::string text =
      "@echo off\n"
      "rem Quarnfeld Optimizer " +
      version + ": " + count +
      " tweaks, written by \"quarnfeld export --script\".\n"
      "rem Run it as administrator. Exit codes: 0 every tweak succeeded (or was passed by),\n"
      "rem 1 some tweak failed, 3 not run as administrator. It writes no files of its own.\n"
      "setlocal EnableExtensions EnableDelayedExpansion\n"
      "rem Only an administrator may open the Local Service account's hive.\n"
      "\"%SystemRoot%\\System32\\reg.exe\" query \"HKU\\S-1-5-19\" >nul 2>&1\n"
      "if errorlevel 1 (\n"
      "  echo This script changes system settings and needs administrator rights. 1>&2\n"
      "  echo Run it from an elevated command prompt, or as SYSTEM. Nothing was changed. 1>&2\n"
      "  exit /b 3\n"
      ")\n"
      "rem SYSTEM: its security identifier, or its name (the computer's own with \"$\").\n"
      "set \"QF_SYSTEM=\"\n"
      "\"%SystemRoot%\\System32\\whoami.exe\" /user 2>nul | \"%SystemRoot%\\System32\\find.exe\" \"S-1-5-18\" >nul\n"
      "if not errorlevel 1 set \"QF_SYSTEM=1\"\n"
      "if /i \"%USERNAME%\"==\"%COMPUTERNAME%$\" set \"QF_SYSTEM=1\"\n";
  std::string perUser;
  for (const Tweak* tweak : tweaks) {
    if (TweakIsPerUser(*tweak)) perUser += "  echo   " + tweak->key + "\n";
  }
  if (!perUser.empty()) {
    text +=
        "if defined QF_SYSTEM (\n"
        "  echo Running as SYSTEM: these tweaks change the profile of the user they run as, here SYSTEM's own,\n"
        "  echo so they are passed by. Deploy them as a user logon script instead:\n" +
        perUser + ")\n";
  }
  text +=
      "chcp 65001 >nul 2>&1\n"
      "cd /d \"%SystemRoot%\\System32\"\n"
      "set /a QF_OK=0, QF_FAILED=0, QF_PERUSER=0\n";
  for (size_t i = 0; i < tweaks.size(); ++i) {
    text += "call :qf_run qf_tweak_" + std::to_string(i + 1) + " \"" + tweaks[i]->key + "\" " +
            (TweakIsPerUser(*tweaks[i]) ? "1" : "0") + "\n";
  }
  text += "echo " + count +
          " tweaks: !QF_OK! succeeded, !QF_FAILED! failed, !QF_PERUSER! per-user passed by.\n"
          "if !QF_FAILED! gtr 0 exit /b 1\n"
          "exit /b 0\n\n";
  text += kRunOne;
  for (size_t i = 0; i < tweaks.size(); ++i) {
    text +=
        "\n:qf_tweak_" + std::to_string(i + 1) + "\nrem " + tweaks[i]->key + "\n" + kTweakHeader + tweaks[i]->script;
    if (!text.ends_with('\n')) text += '\n';
    text += "exit /b 0\n";
  }
  return text;
}
