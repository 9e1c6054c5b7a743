#include "run/batch_environment.h"

#include <algorithm>

#include "platform/machine.h"
#include "platform/registry.h"

namespace {

constexpr std::u16string_view kMachineEnvironment = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr size_t kValueBytes = 512;

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; }

bool NameBefore(const std::u16string& a, const std::u16string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char16_t x, char16_t y) { return Upper(x) < Upper(y); });
}

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

}  // namespace

BatchEnvironmentFacts SystemEnvironmentFacts() {
  BatchEnvironmentFacts facts;
  facts.folders = platform::ReadSystemFolders();
  facts.userName = platform::UserName();
  facts.computerName = platform::ComputerName();
  for (const char16_t* name : {u"NUMBER_OF_PROCESSORS", u"PROCESSOR_ARCHITECTURE", u"PROCESSOR_IDENTIFIER",
                               u"PROCESSOR_LEVEL", u"PROCESSOR_REVISION"}) {
    std::u16string value =
        platform::RegistryText(platform::ReadMachineRegistryValue(kMachineEnvironment, name, kValueBytes));
    // A plain value: an expandable one would take its parts from somewhere.
    if (!value.empty() && value.find(u'%') == std::u16string::npos) facts.processor.emplace_back(name, value);
  }
  return facts;
}

bool EnvironmentFactsComplete(const BatchEnvironmentFacts& facts) {
  const platform::SystemFolders& f = facts.folders;
  return !f.windows.empty() && !f.system.empty() && !f.programData.empty() && !f.profile.empty();
}

std::u16string RoamingAppData(const BatchEnvironmentFacts& facts) {
  return facts.folders.profile + u"\\AppData\\Roaming";
}

std::u16string LocalAppData(const BatchEnvironmentFacts& facts) { return facts.folders.profile + u"\\AppData\\Local"; }

std::u16string CheckedProfileTemp(const BatchEnvironmentFacts& facts, const EntryKindOf& kindOf) {
  const std::u16string& profile = facts.folders.profile;
  if (profile.empty()) return {};
  const std::u16string steps[] = {profile, profile + u"\\AppData", LocalAppData(facts),
                                  LocalAppData(facts) + u"\\Temp"};
  for (const std::u16string& step : steps) {
    if (kindOf(step) != platform::EntryKind::Directory) return {};
  }
  return steps[3];
}

bool PathHoldsNoLink(const std::u16string& path, const EntryKindOf& kindOf) {
  // Below the drive: "C:\" is where the walk starts.
  if (path.size() < 4 || path[1] != u':' || !IsSeparator(path[2])) return false;
  for (size_t i = 3; i < path.size(); ++i) {
    if (IsSeparator(path[i]) && kindOf(path.substr(0, i)) != platform::EntryKind::Directory) return false;
  }
  return kindOf(path) == platform::EntryKind::File;
}

std::u16string BuildEnvironmentBlock(const BatchEnvironmentFacts& facts, const std::u16string& temp) {
  const platform::SystemFolders& f = facts.folders;
  const std::u16string& sys = f.system;
  std::vector<std::pair<std::u16string, std::u16string>> entries = {
      {u"ALLUSERSPROFILE", f.programData},
      {u"APPDATA", f.profile.empty() ? u"" : RoamingAppData(facts)},
      {u"CommonProgramFiles", f.commonFiles},
      {u"CommonProgramFiles(x86)", f.commonFilesX86},
      {u"CommonProgramW6432", f.commonFiles},
      {u"COMPUTERNAME", facts.computerName},
      {u"ComSpec", sys + u"\\cmd.exe"},
      {u"LOCALAPPDATA", f.profile.empty() ? u"" : LocalAppData(facts)},
      {u"NoDefaultCurrentDirectoryInExePath", u"1"},
      {u"OS", u"Windows_NT"},
      {u"Path", sys + u";" + f.windows + u";" + sys + u"\\Wbem;" + sys + u"\\WindowsPowerShell\\v1.0\\"},
      {u"PATHEXT", u".COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH;.MSC"},
      {u"ProgramData", f.programData},
      {u"ProgramFiles", f.programFiles},
      {u"ProgramFiles(x86)", f.programFilesX86},
      {u"ProgramW6432", f.programFiles},
      {u"PSModulePath", (f.programFiles.empty() ? u"" : f.programFiles + u"\\WindowsPowerShell\\Modules;") + sys +
                            u"\\WindowsPowerShell\\v1.0\\Modules"},
      {u"PUBLIC", f.publicProfile},
      {u"SystemDrive", f.windows.substr(0, 2)},
      {u"SystemRoot", f.windows},
      {u"TEMP", temp},
      {u"TMP", temp},
      {u"USERNAME", facts.userName},
      {u"USERPROFILE", f.profile},
      {u"windir", f.windows},
  };
  entries.insert(entries.end(), facts.processor.begin(), facts.processor.end());
  std::stable_sort(entries.begin(), entries.end(),
                   [](const auto& a, const auto& b) { return NameBefore(a.first, b.first); });
  std::u16string block;
  for (const auto& [name, value] : entries) {
    // An unknown value, or one that would end the entry early, is left out.
    if (value.empty() || value.find(u'\0') != std::u16string::npos) continue;
    block += name;
    block += u'=';
    block += value;
    block += u'\0';
  }
  return block;
}
