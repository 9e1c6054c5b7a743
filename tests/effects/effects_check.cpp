// The effects check: runs catalogue rows' bodies for real under Wine, with the
// tests' PowerShell host, checks what each does to the machine, and checks
// that the program's state check agrees.
//
//   effects_check.exe [--guarded-only] [--sample-checks] SOURCE...
//
// For each script source: the targets of its step blocks are read from the
// source itself (ParseScriptSource), seeded, and the row's body (the
// catalogue's, or an example source's expansion) is run through the real
// batch runner. Then, family by family, the effect is checked (a set value
// holds its data and type, a deleted value or key is gone while its
// neighbours stay, a cleared folder is empty but still there, only the files
// matching a pattern are gone, each hosts line is there once, a disabled
// service has start type 4, an editor setting is written without losing the
// file's other settings). The state check (CheckTweak on the real machine,
// as the program runs it) must find each seeded step not applied before the
// run and every step applied after it; the run again with skipping on must
// pass a tweak so found by, and run one that deletes or cleans. A second run
// must succeed and change nothing; with the targets absent the row must
// succeed and create nothing (but where the family creates by design); with
// a target held open by this program, so that it cannot be deleted or
// written, the row must fail. --sample-checks makes those last three only on
// a row that brings a variant (family and flags) the check has not yet
// covered. Rows with a family that Wine cannot serve are run once: they must
// end with an exit code and no hang. A step outside its version guard must
// leave its target as seeded, and the state check must find it n/a. The last
// line is "N passed, N failed".
#include <shlwapi.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/text.h"
#include "protocol/json_text.h"
#include "run/batch_environment.h"
#include "run/batch_runner.h"
#include "run/batch_runner_internal.h"
#include "tests/effects/row_state.h"
#include "tools/generators/script_body/body_lint.h"
#include "tools/generators/script_body/script_body.h"
#include "tools/generators/script_body/script_source.h"
#include "tools/generators/script_body/version_guard.h"

namespace {

std::wstring Wide(const std::string& text) {
  std::u16string wide = platform::Utf8ToUtf16(text);
  return std::wstring(wide.begin(), wide.end());
}

std::string Narrow(const std::wstring& text) { return platform::Utf16ToUtf8(std::u16string(text.begin(), text.end())); }

std::wstring Expand(const std::string& text) {
  std::wstring wide = Wide(text);
  wchar_t buffer[4096];
  DWORD length = ExpandEnvironmentStringsW(wide.c_str(), buffer, 4096);
  if (length == 0 || length > 4096) return wide;
  return buffer;
}

std::string ParamOf(const SourceBlock& block, const std::string& name) {
  for (const SourceParam& param : block.params) {
    if (param.name == name) return param.value;
  }
  return "";
}

// The folders of a folder parameter, one or several separated by ";", as
// the source gives them: without the blanks around them and the "\*" or
// "\" they may end with.
std::vector<std::string> Folders(const SourceBlock& block) {
  std::vector<std::string> folders;
  std::string value = ParamOf(block, "directory");
  size_t start = 0;
  while (start <= value.size()) {
    size_t end = value.find(';', start);
    if (end == std::string::npos) end = value.size();
    std::string folder = value.substr(start, end - start);
    start = end + 1;
    folder.erase(0, folder.find_first_not_of(' '));
    folder.erase(folder.find_last_not_of(' ') + 1);
    if (folder.size() > 2 && folder.compare(folder.size() - 2, 2, "\\*") == 0) folder.resize(folder.size() - 2);
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    folders.push_back(folder);
  }
  return folders;
}

// ---- registry ----

struct RegPath {
  HKEY hive = nullptr;
  std::wstring subKey;
};

RegPath ParseKey(const std::string& key) {
  static const std::map<std::string, HKEY> hives = {{"HKLM", HKEY_LOCAL_MACHINE},
                                                    {"HKCU", HKEY_CURRENT_USER},
                                                    {"HKCR", HKEY_CLASSES_ROOT},
                                                    {"HKU", HKEY_USERS},
                                                    {"HKCC", HKEY_CURRENT_CONFIG}};
  size_t slash = key.find('\\');
  auto hive = hives.find(key.substr(0, slash));
  if (hive == hives.end() || slash == std::string::npos) return {};
  return {hive->second, Wide(key.substr(slash + 1))};
}

void DeleteKey(const std::string& key) {
  RegPath path = ParseKey(key);
  if (path.hive != nullptr) RegDeleteTreeW(path.hive, path.subKey.c_str());
  if (path.hive != nullptr) RegDeleteKeyExW(path.hive, path.subKey.c_str(), KEY_WOW64_64KEY, 0);
}

bool SetValue(const std::string& key, const std::string& name, DWORD type, const std::vector<BYTE>& data) {
  RegPath path = ParseKey(key);
  HKEY handle;
  if (path.hive == nullptr ||
      RegCreateKeyExW(path.hive, path.subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &handle,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  std::wstring valueName = name == "(default)" ? L"" : Wide(name);
  LONG status = RegSetValueExW(handle, valueName.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size()));
  RegCloseKey(handle);
  return status == ERROR_SUCCESS;
}

std::vector<BYTE> StringData(const std::wstring& text) {
  const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
  return std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
}

bool SetString(const std::string& key, const std::string& name, const std::string& text) {
  return SetValue(key, name, REG_SZ, StringData(Wide(text)));
}

// Every value (name, type, data) and subkey below the key, as text; "absent"
// when the key does not exist.
std::string DumpKey(HKEY root, const std::wstring& subKey, int depth = 0) {
  HKEY handle;
  if (RegOpenKeyExW(root, subKey.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &handle) != ERROR_SUCCESS) return "absent";
  std::string out = "{";
  std::vector<std::string> values;
  for (DWORD index = 0;; ++index) {
    wchar_t name[16384];
    DWORD nameLength = 16384;
    BYTE data[65536];
    DWORD dataLength = sizeof data;
    DWORD type = 0;
    if (RegEnumValueW(handle, index, name, &nameLength, nullptr, &type, data, &dataLength) != ERROR_SUCCESS) break;
    std::string entry = Narrow(name) + ":" + std::to_string(type) + "=";
    for (DWORD i = 0; i < dataLength; ++i)
      entry += "0123456789abcdef"[data[i] >> 4], entry += "0123456789abcdef"[data[i] & 15];
    values.push_back(entry);
  }
  std::sort(values.begin(), values.end());
  for (const std::string& value : values) out += value + ";";
  std::vector<std::wstring> subKeys;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD nameLength = 256;
    if (RegEnumKeyExW(handle, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    subKeys.push_back(name);
  }
  RegCloseKey(handle);
  std::sort(subKeys.begin(), subKeys.end());
  for (const std::wstring& name : subKeys) {
    out += Narrow(name) + (depth < 4 ? DumpKey(root, subKey + L"\\" + name, depth + 1) : "{...}");
  }
  return out + "}";
}

std::string DumpKey(const std::string& key) {
  RegPath path = ParseKey(key);
  return path.hive == nullptr ? "bad key" : DumpKey(path.hive, path.subKey);
}

struct RegValue {
  bool present = false;
  DWORD type = 0;
  std::vector<BYTE> data;
};

RegValue ReadValue(const std::string& key, const std::string& name) {
  RegPath path = ParseKey(key);
  HKEY handle;
  RegValue value;
  if (path.hive == nullptr ||
      RegOpenKeyExW(path.hive, path.subKey.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &handle) != ERROR_SUCCESS) {
    return value;
  }
  std::wstring valueName = name == "(default)" ? L"" : Wide(name);
  BYTE data[65536];
  DWORD length = sizeof data;
  if (RegQueryValueExW(handle, valueName.c_str(), nullptr, &value.type, data, &length) == ERROR_SUCCESS) {
    value.present = true;
    value.data.assign(data, data + length);
  }
  RegCloseKey(handle);
  return value;
}

std::string Parent(const std::string& path) { return path.substr(0, path.rfind('\\')); }

// ---- files ----

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void MakeFolders(const std::wstring& path) {
  if (path.size() <= 3 || Exists(path)) return;
  MakeFolders(path.substr(0, path.rfind(L'\\')));
  CreateDirectoryW(path.c_str(), nullptr);
}

bool WriteText(const std::wstring& path, const std::string& content) {
  MakeFolders(path.substr(0, path.rfind(L'\\')));
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == content.size();
}

std::optional<std::string> ReadText(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string content;
  char buffer[65536];
  DWORD read = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) content.append(buffer, read);
  CloseHandle(file);
  return content;
}

void DeleteTree(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    DeleteFileW(path.c_str());
    return;
  }
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") DeleteTree(path + L"\\" + name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(path.c_str());
}

// Names and sizes of everything below a path, as text; "absent" when missing.
std::string DumpPath(const std::wstring& path, int depth = 0) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return "absent";
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return "file:" + std::to_string(data.nFileSizeLow);
  std::vector<std::string> entries;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      entries.push_back(Narrow(name) + "=" + (depth < 3 ? DumpPath(path + L"\\" + name, depth + 1) : "..."));
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  std::sort(entries.begin(), entries.end());
  std::string out = "[";
  for (const std::string& entry : entries) out += entry + ";";
  return out + "]";
}

// A file name that the pattern's last part matches.
std::wstring MatchingName(const std::wstring& pattern) {
  std::wstring name;
  for (wchar_t c : pattern) {
    if (c == L'*') {
      name += L"qfseed";
    } else if (c == L'?') {
      name += L'q';
    } else {
      name += c;
    }
  }
  return name;
}

// ---- services ----

std::optional<DWORD> ServiceStart(const std::string& name) {
  RegValue start = ReadValue("HKLM\\System\\CurrentControlSet\\Services\\" + name, "Start");
  if (!start.present || start.data.size() < 4) return std::nullopt;
  return *reinterpret_cast<const DWORD*>(start.data.data());
}

bool CreateTestService(const std::string& name) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) return false;
  SC_HANDLE service = OpenServiceW(manager, Wide(name).c_str(), SERVICE_ALL_ACCESS);
  if (service == nullptr) {
    service =
        CreateServiceW(manager, Wide(name).c_str(), Wide(name).c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                       SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, L"C:\\windows\\system32\\quarnfeld-effects-none.exe",
                       nullptr, nullptr, nullptr, nullptr, nullptr);
  } else {
    ChangeServiceConfigW(service, SERVICE_NO_CHANGE, SERVICE_DEMAND_START, SERVICE_NO_CHANGE, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr);
  }
  bool ok = service != nullptr;
  if (service != nullptr) CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return ok;
}

void DeleteTestService(const std::string& name) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) return;
  SC_HANDLE service = OpenServiceW(manager, Wide(name).c_str(), SERVICE_ALL_ACCESS);
  if (service != nullptr) {
    DeleteService(service);
    CloseServiceHandle(service);
  }
  CloseServiceHandle(manager);
}

// ---- the running version ----

uint32_t RunningBuild() {
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  auto get = reinterpret_cast<RtlGetVersionFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (get == nullptr || get(&info) != 0) return 0;
  return info.dwBuildNumber;
}

uint32_t GuardBuild(GuardKind kind, const std::string& name) {
  for (const VersionEntry& entry : VersionTable(kind)) {
    if (entry.name == name) return static_cast<uint32_t>(std::stoul(std::string(entry.build.substr(5))));
  }
  return 0;
}

// ---- the checks of one row ----

// Families that Wine cannot serve (no Store, no optional features or
// capabilities, no scheduled tasks through CIM, nothing to uninstall) and
// the plain batch lines, which the row's author keeps: such a row runs once.
const std::map<std::string, std::string>& NotExecutable() {
  static const std::map<std::string, std::string> families = {
      {"uninstall-store-app", "Wine has no Store apps (Appx module)"},
      {"disable-scheduled-task", "Wine has no scheduled tasks through CIM (ScheduledTasks module)"},
      {"remove-windows-capability", "Wine has no capabilities (DISM module)"},
      {"disable-optional-feature", "Wine has no optional features (DISM module)"},
      {"run-edge-uninstaller", "Wine has no Edge installation to uninstall"},
      {"empty-recycle-bin", "Wine has no shell recycle bin through COM to empty"},
      {"disable-netbios", "Wine has no network adapter settings through CIM"},
      {"stop-service", "Wine's services cannot be started and stopped for a test"},
      {"start-service", "Wine's services cannot be started and stopped for a test"},
      {"plain", "plain batch lines act on the real system (taskkill, powercfg, ...)"},
      {"terminate-process", "plain batch lines act on the real system (taskkill, powercfg, ...)"},
      {"remove-shortcuts", "the shortcut folders of every user are not set up under Wine"},
      {"remove-onedrive-navigation-entry", "Wine has no cloud-sync navigation entry"},
  };
  return families;
}

// Families whose steps run without a target to seed or a state to compare.
bool RunOnly(const std::string& family) {
  return family == "restart-note" || family == "terminate-on-startup" || family == "block-executable" ||
         family == "activate-disallow-run";
}

// Families whose effect Wine shows but whose exit code it spoils: PowerShell
// 7's Set-Service also writes the delayed-start flag, a configuration level
// that Wine's service manager refuses (Windows PowerShell 5.1's does not).
const std::map<std::string, std::string>& ExitCodeUnchecked() {
  static const std::map<std::string, std::string> families = {
      {"disable-service", "PowerShell 7's Set-Service sets the delayed-start flag, which Wine refuses"},
      {"disable-per-user-service", "PowerShell 7's Set-Service sets the delayed-start flag, which Wine refuses"},
  };
  return families;
}

struct Target {
  std::string family;
  const SourceBlock* block = nullptr;
  std::wstring folder;           // a folder family's folder, expanded
  bool active = true;            // inside its version guard
  bool createsByDesign = false;  // the skip path may create it
  std::string lockFamily;        // the family whose held-open file makes the step fail, if any
  std::string what;              // the target named in messages
  size_t step = 0;               // its step record: the index among the row's steps
};

struct Counts {
  int steps = 0;
  int passed = 0;
};

struct Tally {
  std::map<std::string, Counts> families;
  std::map<std::string, std::vector<std::string>> notExecutable;  // reason -> rows
  std::map<std::string, std::vector<std::string>> exitUnchecked;  // reason -> rows
  int checksPassed = 0;
  int checksFailed = 0;
  int rows = 0;
  int rowsPassed = 0;
  double runSeconds = 0;
  int powershellLines = 0;
  int agreementRows = 0;                   // rows whose state was compared with their effect
  std::vector<std::string> disagreeing;    // rows where the state check and the effect disagree
  int skippedRows = 0;                     // rows the run passed by as applied on their second run
  std::map<std::string, int> freshStates;  // state word -> rows, before any row ran
  // Sampled checks: the variants (family and flags) each extra check has
  // covered, and the rows it ran on.
  std::map<std::string, std::set<std::string>> covered;
  std::map<std::string, std::vector<std::string>> sampledRows;
};

uint32_t g_lastExitCode = 0;
bool g_lastEnded = false;
// What the last run printed, and why it failed when it did.
std::string g_lastOutput;

// The body through the real batch runner; records the exit code.
// Each PowerShell start costs seconds under Wine, so a row of many steps may
// outlast the program's own timeout (kScriptTimeoutMs) here: the check waits
// up to ten minutes for a row.
constexpr uint32_t kRowTimeoutMs = 600000;

BatchResult RunBatch(const std::string& body, Tally* tally, int powershellLines) {
  auto start = std::chrono::steady_clock::now();
  BatchResult result = RunBatchScriptWith(SystemBatchOperations(), body.c_str(), kRowTimeoutMs);
  tally->runSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  tally->powershellLines += powershellLines;
  g_lastEnded = result.exitCode.has_value();
  g_lastExitCode = result.exitCode.value_or(0);
  g_lastOutput = result.output;
  if (result.outcome != BatchOutcome::Succeeded) {
    for (const std::string& reason : FailureReasons(result)) g_lastOutput += "\n(reason: " + reason + ")";
  }
  return result;
}

bool RunBody(const std::string& body, Tally* tally, int powershellLines) {
  return RunBatch(body, tally, powershellLines).outcome == BatchOutcome::Succeeded;
}

class RowCheck {
 public:
  RowCheck(std::string row, Tally* tally) : row_(std::move(row)), tally_(tally) {}

  void Expect(bool ok, const Target* target, const std::string& what) {
    if (ok) {
      ++tally_->checksPassed;
      return;
    }
    ++tally_->checksFailed;
    if (!failed_ || g_lastOutput != shownOutput_) {
      // The steps' output of the last run, for the reader, once for each run.
      shownOutput_ = g_lastOutput;
      std::string output = g_lastOutput;
      if (output.size() > 3000) output = "..." + output.substr(output.size() - 3000);
      std::printf("--- output of the last run of %s:\n%s\n---\n", row_.c_str(), output.c_str());
    }
    failed_ = true;
    if (target != nullptr) failedTargets_.insert(target);
    std::printf("FAIL %s: %s%s%s\n", row_.c_str(), target ? target->family.c_str() : "row",
                target ? (" " + target->what).c_str() : "", (": " + what).c_str());
  }

  // An expectation of the state check against the row's effect.
  void Agree(bool ok, const Target* target, const std::string& what) {
    if (!ok) disagreed_ = true;
    Expect(ok, target, "state check: " + what);
  }

  bool failed() const { return failed_; }
  bool disagreed() const { return disagreed_; }
  bool failedTarget(const Target* target) const { return failedTargets_.count(target) > 0; }

 private:
  std::string row_;
  Tally* tally_;
  bool failed_ = false;
  bool disagreed_ = false;
  std::string shownOutput_;
  std::set<const Target*> failedTargets_;
};

const std::string kNeighbour = "QuarnfeldNeighbour";
const std::string kEditorSettings =
    "{\n"
    "  // Kept by every edit: a comment, another setting and a trailing comma.\n"
    "  \"editor.fontSize\": 14,\n"
    "  \"files.exclude\": { \"**/.git\": true, },\n"
    "}\n";
const std::string kHostsSeed = "# hosts of the effects check\r\n127.0.0.1\tlocalhost";

std::wstring HostsPath() { return Expand("%SystemRoot%\\System32\\drivers\\etc\\hosts"); }
std::wstring EditorPath() { return Expand("%APPDATA%\\Code\\User\\settings.json"); }

std::string ValueKey(const Target& t) {
  if (t.family == "deprovision-store-app") {
    return "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Appx\\AppxAllUserStore\\Deprovisioned\\" +
           ParamOf(*t.block, "package-family");
  }
  return ParamOf(*t.block, "key");
}

// The folder and file pattern of a pattern family.
std::wstring PatternFolder(const Target& t) {
  std::wstring pattern = Expand(ParamOf(*t.block, "pattern"));
  return pattern.substr(0, pattern.rfind(L'\\'));
}
// A file beside the matching one that the pattern does not match (in the
// parent folder when the pattern matches every name).
std::wstring NeighbourFile(const Target& t) {
  std::wstring pattern = Expand(ParamOf(*t.block, "pattern"));
  std::wstring folder = PatternFolder(t);
  std::wstring name = Wide(kNeighbour) + L".kept";
  if (PathMatchSpecW(name.c_str(), pattern.substr(pattern.rfind(L'\\') + 1).c_str())) {
    folder = folder.substr(0, folder.rfind(L'\\'));
  }
  return folder + L"\\" + name;
}

std::wstring PatternFile(const Target& t) {
  std::wstring pattern = Expand(ParamOf(*t.block, "pattern"));
  return PatternFolder(t) + L"\\" + MatchingName(pattern.substr(pattern.rfind(L'\\') + 1));
}

// The state of a target and its neighbours, as text.
std::string Dump(const Target& t) {
  const SourceBlock& b = *t.block;
  const std::string& f = t.family;
  if (f == "set-registry-value" || f == "delete-registry-value" || f == "remove-registry-key" ||
      f == "create-registry-key" || f == "clear-registry-values" || f == "deprovision-store-app") {
    // The key itself and, for a removed key, its sibling: other steps of the
    // row may share the parent.
    std::string sibling = f == "remove-registry-key" ? " " + DumpKey(Parent(ValueKey(t)) + "\\" + kNeighbour) : "";
    return DumpKey(ValueKey(t)) + sibling;
  }
  if (f == "clear-directory-contents" || f == "delete-directory") {
    return DumpPath(t.folder) + " " + DumpPath(t.folder.substr(0, t.folder.rfind(L'\\')) + L"\\" + Wide(kNeighbour));
  }
  if (f == "delete-files" || f == "soft-delete") return DumpPath(PatternFolder(t));
  if (f == "add-hosts-entries") return ReadText(HostsPath()).value_or("absent");
  if (f == "editor-setting") return ReadText(EditorPath()).value_or("absent");
  if (f == "disable-service" || f == "disable-per-user-service") {
    std::string name = ParamOf(b, "service");
    std::optional<DWORD> start = ServiceStart(name);
    std::optional<DWORD> instance = ServiceStart(name + "_qf1");
    return (start ? std::to_string(*start) : "absent") + "/" + (instance ? std::to_string(*instance) : "-");
  }
  if (f == "create-placeholder-file") return DumpPath(Expand(ParamOf(b, "path")));
  return "";
}

void Seed(const Target& t) {
  const SourceBlock& b = *t.block;
  const std::string& f = t.family;
  if (f == "set-registry-value" || f == "create-registry-key" || f == "deprovision-store-app") {
    DeleteKey(ValueKey(t));
    SetString(Parent(ValueKey(t)), kNeighbour, "kept");
  } else if (f == "delete-registry-value") {
    std::string key = ParamOf(b, "key");
    std::string expected = ParamOf(b, "expected-data");
    SetString(key, ParamOf(b, "value"), expected.empty() ? "seeded" : expected);
    SetString(key, kNeighbour, "kept");
  } else if (f == "remove-registry-key") {
    std::string key = ParamOf(b, "key");
    SetString(key, "Seeded", "gone");
    SetString(key + "\\Below", "Seeded", "gone");
    SetString(Parent(key) + "\\" + kNeighbour, "Seeded", "kept");
  } else if (f == "clear-registry-values") {
    std::string key = ParamOf(b, "key");
    DeleteKey(key);
    SetString(key, "First", "gone");
    SetValue(key, "Second", REG_DWORD, {1, 0, 0, 0});
    SetString(key + "\\Below", "Third", "depends");
  } else if (f == "clear-directory-contents" || f == "delete-directory") {
    const std::wstring& folder = t.folder;
    DeleteTree(folder);
    if (f == "clear-directory-contents") {
      WriteText(folder + L"\\seeded.tmp", "gone");
      WriteText(folder + L"\\Below\\seeded.log", "gone");
      // Attributes that a plain delete refuses or a listing may hide.
      WriteText(folder + L"\\Below\\read-only.log", "gone");
      SetFileAttributesW((folder + L"\\Below\\read-only.log").c_str(), FILE_ATTRIBUTE_READONLY);
      WriteText(folder + L"\\hidden.dat", "gone");
      SetFileAttributesW((folder + L"\\hidden.dat").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    } else {
      MakeFolders(folder + L"\\Empty\\Below");
    }
    WriteText(folder.substr(0, folder.rfind(L'\\')) + L"\\" + Wide(kNeighbour), "kept");
  } else if (f == "delete-files" || f == "soft-delete") {
    WriteText(PatternFile(t), "matching");
    DeleteFileW((PatternFile(t) + L".OLD").c_str());
    WriteText(NeighbourFile(t), "kept");
  } else if (f == "add-hosts-entries") {
    WriteText(HostsPath(), kHostsSeed);
  } else if (f == "editor-setting") {
    WriteText(EditorPath(), kEditorSettings);
  } else if (f == "disable-service" || f == "disable-per-user-service") {
    std::string name = ParamOf(b, "service");
    CreateTestService(name);
    if (f == "disable-per-user-service") CreateTestService(name + "_qf1");
  } else if (f == "create-placeholder-file") {
    DeleteTree(Expand(ParamOf(b, "path")));
  }
}

// Removes the target for the skip path; false where Wine's own copy stays.
void Remove(const Target& t) {
  const SourceBlock& b = *t.block;
  const std::string& f = t.family;
  if (f == "delete-registry-value" || f == "remove-registry-key" || f == "clear-registry-values") {
    DeleteKey(ParamOf(b, "key"));
  } else if (f == "clear-directory-contents" || f == "delete-directory") {
    DeleteTree(t.folder);
  } else if (f == "delete-files" || f == "soft-delete") {
    DeleteFileW(PatternFile(t).c_str());
  } else if (f == "editor-setting") {
    DeleteFileW(EditorPath().c_str());
  } else if (f == "disable-service" || f == "disable-per-user-service") {
    DeleteTestService(ParamOf(b, "service"));
    DeleteTestService(ParamOf(b, "service") + "_qf1");
  }
}

// A file of the target held open without sharing: it can be neither deleted
// nor written while the handle is open.
HANDLE Lock(const Target& t) {
  std::wstring path;
  const std::string& f = t.lockFamily;
  if (f == "clear-directory-contents") {
    const std::wstring& folder = t.folder;
    DeleteTree(folder);
    WriteText(folder + L"\\locked.tmp", "in use");
    path = folder + L"\\locked.tmp";
  } else if (f == "delete-files") {
    path = PatternFile(t);
  } else if (f == "add-hosts-entries") {
    path = HostsPath();
  } else if (f == "editor-setting") {
    path = EditorPath();
  }
  if (path.empty()) return INVALID_HANDLE_VALUE;
  return CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

std::string Hex(const std::vector<BYTE>& data) {
  std::string out;
  for (BYTE b : data) out += "0123456789abcdef"[b >> 4], out += "0123456789abcdef"[b & 15];
  return out;
}

size_t CountLines(const std::string& text, const std::string& line) {
  size_t count = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    std::string current = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!current.empty() && current.back() == '\r') current.pop_back();
    if (current == line) ++count;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return count;
}

// The effect of one step that ran, family by family.
void CheckApplied(const Target& t, RowCheck* check) {
  const SourceBlock& b = *t.block;
  const std::string& f = t.family;
  if (f == "set-registry-value") {
    RegValue value = ReadValue(ParamOf(b, "key"), ParamOf(b, "value"));
    std::string type = ParamOf(b, "type");
    std::string data = ParamOf(b, "data");
    std::vector<BYTE> expected;
    DWORD expectedType = REG_SZ;
    if (type == "REG_SZ") {
      expected = StringData(Expand(data));
    } else {
      unsigned long long number = std::stoull(data, nullptr, 0);
      expectedType = type == "REG_DWORD" ? REG_DWORD : REG_QWORD;
      const BYTE* bytes = reinterpret_cast<const BYTE*>(&number);
      expected.assign(bytes, bytes + (type == "REG_DWORD" ? 4 : 8));
    }
    check->Expect(value.present, &t, "the value is there");
    check->Expect(value.type == expectedType, &t, "type " + std::to_string(value.type) + ", want " + type);
    check->Expect(value.data == expected, &t, "data " + Hex(value.data) + ", want " + Hex(expected));
    check->Expect(ReadValue(Parent(ValueKey(t)), kNeighbour).present, &t, "the neighbour value is kept");
  } else if (f == "delete-registry-value") {
    check->Expect(!ReadValue(ParamOf(b, "key"), ParamOf(b, "value")).present, &t, "the value is gone");
    check->Expect(ReadValue(ParamOf(b, "key"), kNeighbour).present, &t, "the neighbour value is kept");
  } else if (f == "remove-registry-key") {
    check->Expect(DumpKey(ParamOf(b, "key")) == "absent", &t, "the key is gone");
    check->Expect(DumpKey(Parent(ParamOf(b, "key")) + "\\" + kNeighbour) != "absent", &t, "the sibling key is kept");
  } else if (f == "create-registry-key" || f == "deprovision-store-app") {
    check->Expect(DumpKey(ValueKey(t)) != "absent", &t, "the key exists");
  } else if (f == "clear-registry-values") {
    std::string key = ParamOf(b, "key");
    bool recursive = ParamOf(b, "recursive") == "yes";
    std::string below = DumpKey(key + "\\Below");
    check->Expect(DumpKey(key) == "{Below" + below + "}", &t, "only the subkey is left: " + DumpKey(key));
    check->Expect(below == (recursive ? "{}" : "{Third:1=" + Hex(StringData(L"depends")) + ";}"), &t,
                  "the subkey's values: " + below);
  } else if (f == "clear-directory-contents") {
    check->Expect(DumpPath(t.folder) == "[]", &t, "the folder is there and empty: " + DumpPath(t.folder));
  } else if (f == "delete-directory") {
    check->Expect(DumpPath(t.folder) == "absent", &t, "the empty folders are gone");
  } else if (f == "delete-files" || f == "soft-delete") {
    check->Expect(!Exists(PatternFile(t)), &t, "the matching file is gone");
    check->Expect(Exists(NeighbourFile(t)), &t, "the file that does not match is kept");
    if (f == "soft-delete") check->Expect(Exists(PatternFile(t) + L".OLD"), &t, "the file is renamed to .OLD");
  } else if (f == "add-hosts-entries") {
    std::string hosts = ReadText(HostsPath()).value_or("");
    std::string tail =
        "\t" + ParamOf(b, "domain") + " # " + (ParamOf(b, "comment").empty() ? "." : ParamOf(b, "comment"));
    check->Expect(CountLines(hosts, "0.0.0.0" + tail) == 1, &t, "the IPv4 line is there once");
    check->Expect(CountLines(hosts, "::1" + tail) == 1, &t, "the IPv6 line is there once");
    check->Expect(CountLines(hosts, "127.0.0.1\tlocalhost") == 1, &t, "the file's own lines are kept");
  } else if (f == "editor-setting") {
    std::string text = ReadText(EditorPath()).value_or("");
    std::string key = "\"" + ParamOf(b, "key") + "\"";
    size_t at = text.find(key);
    size_t colon = at == std::string::npos ? at : text.find_first_not_of(" \t", at + key.size());
    size_t value =
        colon == std::string::npos || text[colon] != ':' ? std::string::npos : text.find_first_not_of(" \t", colon + 1);
    check->Expect(
        value != std::string::npos && text.compare(value, ParamOf(b, "value").size(), ParamOf(b, "value")) == 0, &t,
        "the setting holds its value: " + text);
    check->Expect(text.find("\"editor.fontSize\": 14") != std::string::npos &&
                      text.find("\"**/.git\": true") != std::string::npos,
                  &t, "the other settings are kept");
    check->Expect(text.find("// Kept by every edit") != std::string::npos, &t, "the comment is kept");
  } else if (f == "disable-service" || f == "disable-per-user-service") {
    check->Expect(ServiceStart(ParamOf(b, "service")) == 4u, &t, "start type 4");
    if (f == "disable-per-user-service") {
      check->Expect(ServiceStart(ParamOf(b, "service") + "_qf1") == 4u, &t, "the instance has start type 4");
    }
  } else if (f == "create-placeholder-file") {
    check->Expect(DumpPath(Expand(ParamOf(b, "path"))) == "file:0", &t, "an empty file");
  }
}

std::vector<Target> TargetsOf(const std::vector<SourceBlock>& blocks, uint32_t build, bool* executable,
                              std::string* reason) {
  std::vector<Target> targets;
  *executable = true;
  size_t step = 0;
  for (const SourceBlock& block : blocks) {
    if (block.kind == "title" || block.kind == "comment" || block.kind == "separator" || IsRowDirective(block.kind)) {
      continue;
    }
    auto notExecutable = NotExecutable().find(block.kind);
    if (notExecutable != NotExecutable().end()) {
      *executable = false;
      *reason = notExecutable->second;
    }
    Target t;
    t.family = block.kind;
    t.block = &block;
    t.step = step++;
    std::string minimum = ParamOf(block, "min-version");
    std::string maximum = ParamOf(block, "max-version");
    if (!minimum.empty() && build < GuardBuild(GuardKind::kMinimum, minimum)) t.active = false;
    if (!maximum.empty() && build > GuardBuild(GuardKind::kMaximum, maximum)) t.active = false;
    t.createsByDesign = t.family == "set-registry-value" || t.family == "create-registry-key" ||
                        t.family == "deprovision-store-app" || t.family == "add-hosts-entries" ||
                        t.family == "create-placeholder-file" || RunOnly(t.family);
    if (t.family == "clear-directory-contents" || t.family == "delete-files" || t.family == "add-hosts-entries" ||
        t.family == "editor-setting") {
      t.lockFamily = t.family;
    }
    for (const char* name : {"key", "directory", "pattern", "service", "domain", "path", "package-family"}) {
      if (!ParamOf(block, name).empty()) t.what = ParamOf(block, name);
    }
    if (t.family == "clear-directory-contents" || t.family == "delete-directory") {
      // One target for each folder of the step.
      for (const std::string& folder : Folders(block)) {
        t.folder = Expand(folder);
        t.what = folder;
        targets.push_back(t);
      }
      continue;
    }
    targets.push_back(t);
  }
  // A later step on the same target decides its final state: the earlier
  // one's effect is not checked. A file held open still makes it fail.
  for (size_t i = 0; i < targets.size(); ++i) {
    for (size_t j = i + 1; j < targets.size(); ++j) {
      if (!targets[i].what.empty() && targets[i].what == targets[j].what) targets[i].family = "restart-note";
    }
  }
  return targets;
}

// Wine's cmd.exe does not read the caret-escaped quote "^"" of a step line
// as Windows' cmd does (it keeps the caret and loses the quote state), so each
// step's script, decoded as Windows' cmd and PowerShell read the line
// (DecodeStepLine, which the powershell tier checks), reaches the host
// through a file: the step line keeps its switches and runs the same text.
// The batch runner makes the batch's environment itself, and its PATH finds
// Wine's stub PowerShell, which does nothing and exits 0: each step line names
// the host by its full path (QF_PWSH_HOST, which wine-run sets), and the body
// first sets what the prefix's environment gives the host.
std::string ForWine(const std::string& body, std::string* problem) {
  wchar_t host[1024];
  DWORD hostLength = GetEnvironmentVariableW(L"QF_PWSH_HOST", host, 1024);
  if (hostLength == 0 || hostLength >= 1024) {
    *problem = "QF_PWSH_HOST names no PowerShell host (run through wine-run with QF_WINE_POWERSHELL=host)";
    return "";
  }
  std::wstring folder = Expand("%SystemDrive%\\quarnfeld-effects");
  MakeFolders(folder);
  // The runtime's W^X double mapping fails now and then under Wine.
  std::string out =
      "set \"DOTNET_EnableWriteXorExecute=0\"\nset \"POWERSHELL_TELEMETRY_OPTOUT=1\"\n"
      "set \"POWERSHELL_UPDATECHECK=Off\"\n";
  int step = 0;
  size_t start = 0;
  while (start < body.size()) {
    size_t end = body.find('\n', start);
    std::string line = body.substr(start, end == std::string::npos ? std::string::npos : end - start);
    start = end == std::string::npos ? body.size() : end + 1;
    size_t command = line.find(" -Command ");
    if (line.rfind("PowerShell ", 0) == 0 && command != std::string::npos) {
      std::string script;
      if (!DecodeStepLine(line, &script, problem)) return "";
      std::wstring file = folder + L"\\step" + std::to_wstring(++step) + L".ps1";
      WriteText(file, script);
      line = line.substr(0, command) + " -Command \"Invoke-Expression ([System.IO.File]::ReadAllText('" + Narrow(file) +
             "'))\"";
    }
    if (line.rfind("PowerShell ", 0) == 0) line = "\"" + Narrow(host) + "\"" + line.substr(10);
    out += line + "\n";
  }
  return out;
}

int PowerShellLines(const std::string& body) {
  int count = 0;
  for (size_t at = body.find("\nPowerShell "); at != std::string::npos; at = body.find("\nPowerShell ", at + 1)) {
    ++count;
  }
  return count + (body.rfind("PowerShell ", 0) == 0 ? 1 : 0);
}

// Families whose seed leaves the step's target otherwise than the step
// makes it, and whose state the state check reads.
bool SeededWithState(const std::string& family) {
  return family == "set-registry-value" || family == "delete-registry-value" || family == "remove-registry-key" ||
         family == "create-registry-key" || family == "deprovision-store-app" || family == "add-hosts-entries" ||
         family == "editor-setting" || family == "disable-service" || family == "disable-per-user-service" ||
         family == "create-placeholder-file";
}

// The variant of a target that an extra check covers: its family and flags.
std::string Variant(const Target& t) {
  std::string variant = t.family;
  if (ParamOf(*t.block, "with-additional-permissions") == "yes") variant += "+permissions";
  if (ParamOf(*t.block, "recursive") == "yes") variant += "+recursive";
  return variant;
}

struct Options {
  bool guardedOnly = false;
  // Idempotence, absent targets and targets in use only on a row that brings
  // a variant the check has not yet covered in this pass.
  bool sampleChecks = false;
};

// Records the variants of the row's targets that `eligible` admits as
// covered by the extra check `name`; whether one was new.
bool Cover(const std::string& name, const std::vector<Target>& targets, const std::string& row, Tally* tally,
           const std::function<bool(const Target&)>& eligible) {
  bool added = false;
  for (const Target& t : targets) {
    if (eligible(t) && tally->covered[name].insert(Variant(t)).second) added = true;
  }
  if (added) tally->sampledRows[name].push_back(row);
  return added;
}

// Whether the row gets the extra check: always, unless the checks are
// sampled; then when it brings a variant the check has not yet covered.
bool Wanted(const std::string& name, const std::vector<Target>& targets, const Options& options, const std::string& row,
            Tally* tally, const std::function<bool(const Target&)>& eligible) {
  return Cover(name, targets, row, tally, eligible) || !options.sampleChecks;
}

std::string StateText(const TweakCheck& state) {
  return std::string(TweakStateWord(state.state)) + " " + std::to_string(state.done) + "/" +
         std::to_string(state.total);
}

// What the state check says of each step, against what the effects check
// knows of it: after the seed, a seeded step is "not applied"; after the
// body ran, a step inside its guard that has a state is "applied" and one
// outside it "n/a".
void CheckAgreement(const Tweak& tweak, const std::vector<Target>& targets, bool ran, RowCheck* check) {
  const TweakCheck state = CheckRowState(tweak);
  for (const Target& t : targets) {
    if (t.step >= state.steps.size()) {
      check->Agree(false, &t, "the tweak has no step record for it");
      continue;
    }
    const StepCheck& step = state.steps[t.step];
    const std::string says =
        " (the state check says " + std::string(StepStateWord(step.state)) + ": " + step.reason + ")";
    if (!t.active) {
      check->Agree(step.state == StepState::kNotApplicable, &t, "outside its version guard the step is n/a" + says);
    } else if (!ran) {
      if (SeededWithState(t.family)) {
        check->Agree(step.state == StepState::kNotApplied, &t, "as seeded the step is not applied" + says);
      }
    } else {
      check->Agree(step.state != StepState::kNotApplied && step.state != StepState::kUnknown, &t,
                   "after the run the step is applied" + says);
    }
  }
  if (ran) {
    check->Agree(state.state == TweakState::kApplied || state.state == TweakState::kNotApplicable, nullptr,
                 "after the run the tweak is applied or n/a, not " + StateText(state));
  }
}

// `fresh` is the row's state as the state check found it before any row ran.
void CheckRow(const RowSource& rowSource, const Tweak* tweak, const std::string& fresh, const Options& options,
              uint32_t build, Tally* tally) {
  std::string error;
  std::vector<SourceBlock> blocks = ParseScriptSource(rowSource.source, &error);
  const std::string& sourcePath = rowSource.path;
  std::string row =
      sourcePath.substr(sourcePath.find("scripts") == std::string::npos ? 0 : sourcePath.find("scripts") + 8);
  RowCheck check(row, tally);
  // The body the program runs: the tweak's own.
  std::string body = tweak == nullptr ? "" : tweak->script;
  if (!body.empty()) body = ForWine(body, &error);
  if (blocks.empty() || body.empty()) {
    check.Expect(false, nullptr, tweak == nullptr ? "no catalogue row has this source" : "the body: " + error);
    ++tally->rows;
    return;
  }
  bool executable = true;
  std::string reason;
  std::vector<Target> targets = TargetsOf(blocks, build, &executable, &reason);
  bool guarded = std::any_of(blocks.begin(), blocks.end(), [](const SourceBlock& b) {
    return !ParamOf(b, "min-version").empty() || !ParamOf(b, "max-version").empty();
  });
  if (options.guardedOnly && !guarded) return;
  ++tally->rows;
  int lines = PowerShellLines(tweak->script);
  bool exitChecked = true;
  for (const Target& t : targets) {
    auto unchecked = ExitCodeUnchecked().find(t.family);
    if (unchecked == ExitCodeUnchecked().end() || !t.active) continue;
    exitChecked = false;
    tally->exitUnchecked[unchecked->second].push_back(row);
    break;
  }

  if (!executable) {
    // Run once: an exit code, no hang.
    RunBody(body, tally, lines);
    check.Expect(g_lastEnded, nullptr, "ends with an exit code within ten minutes");
    tally->notExecutable[reason].push_back(row + " (exit " + std::to_string(g_lastExitCode) + ")");
    for (const Target& t : targets) {
      Counts& counts = tally->families[t.family];
      ++counts.steps;
      if (g_lastEnded) ++counts.passed;
    }
    if (!check.failed()) ++tally->rowsPassed;
    std::printf("%s %s: state %s before any row ran; not checkable: %s\n", check.failed() ? "failed" : "ok",
                row.c_str(), fresh.c_str(), reason.c_str());
    std::fflush(stdout);
    return;
  }

  // Seed and run; the state check must see the seed as not applied and the
  // run's effect as applied.
  for (const Target& t : targets) Seed(t);
  std::map<const Target*, std::string> seeded;
  for (const Target& t : targets) seeded[&t] = Dump(t);
  CheckAgreement(*tweak, targets, false, &check);
  check.Expect(RunBody(body, tally, lines) || !exitChecked, nullptr,
               "the first run succeeds (exit " + std::to_string(g_lastExitCode) + ")");
  for (const Target& t : targets) {
    if (t.active) {
      CheckApplied(t, &check);
    } else {
      check.Expect(Dump(t) == seeded[&t], &t, "outside its version guard the target stays as seeded");
    }
  }
  CheckAgreement(*tweak, targets, true, &check);
  const TweakCheck applied = CheckRowState(*tweak);
  ++tally->agreementRows;

  // Run again with skipping on, as the page asks: a tweak that the state
  // check finds fully in place is passed by; one that deletes or cleans runs
  // again, and that run is the idempotence run.
  std::map<const Target*, std::string> after;
  for (const Target& t : targets) after[&t] = Dump(t);
  const bool skips = SkipsAsApplied(applied);
  SkipRunResult second = RunWithSkip(RowTweakId(tweak), [&] { return RunBatch(body, tally, lines); });
  const std::string skipLine =
      "{\"type\":\"log\",\"level\":\"ok\",\"text\":" + JsonQuote("[SKIP] " + tweak->name + ": already applied") + "}";
  const bool skipLogged = std::find(second.messages.begin(), second.messages.end(), skipLine) != second.messages.end();
  const std::string done = second.messages.empty() ? "nothing" : second.messages.back();
  check.Agree(second.scriptRan != skips, nullptr,
              std::string(skips ? "the second run with skipping on passes the tweak by"
                                : "the second run with skipping on runs the tweak") +
                  " (state " + StateText(applied) + (applied.alwaysRuns ? ", deletes or cleans" : "") + ")");
  check.Agree(skipLogged == skips, nullptr, "the run logs the skip exactly when it skips");
  check.Expect(done == "{\"type\":\"done\",\"ok\":1,\"err\":0}" || (!exitChecked && second.scriptRan), nullptr,
               "the second run succeeds: " + done + " (exit " + std::to_string(g_lastExitCode) + ")");
  if (skips) ++tally->skippedRows;
  auto active = [](const Target& t) { return t.active; };
  bool twice = second.scriptRan;
  if (twice) Cover("a second run", targets, row, tally, active);
  if (!twice && Wanted("a second run", targets, options, row, tally, active)) {
    check.Expect(RunBody(body, tally, lines) || !exitChecked, nullptr,
                 "the second run succeeds (exit " + std::to_string(g_lastExitCode) + ")");
    twice = true;
  }
  if (twice) {
    // Idempotence: the second run changes nothing.
    for (const Target& t : targets) check.Expect(Dump(t) == after[&t], &t, "the second run changes nothing");
  }

  // The skip path: with the targets absent, success and nothing created.
  auto absentEligible = [](const Target& t) { return t.active && !t.createsByDesign; };
  bool skippable = std::any_of(targets.begin(), targets.end(), absentEligible);
  if (skippable && Wanted("targets absent", targets, options, row, tally, absentEligible)) {
    for (const Target& t : targets) Remove(t);
    std::map<const Target*, std::string> absent;
    for (const Target& t : targets) absent[&t] = Dump(t);
    check.Expect(RunBody(body, tally, lines) || !exitChecked, nullptr,
                 "with the targets absent the row succeeds (exit " + std::to_string(g_lastExitCode) + ")");
    for (const Target& t : targets) {
      if (!t.createsByDesign) check.Expect(Dump(t) == absent[&t], &t, "with the target absent nothing is created");
    }
  }

  // Honest failure: the first target that can be held open is, and the row
  // must fail (one run a row keeps the tier's time bounded).
  auto lockEligible = [exitChecked](const Target& t) { return !t.lockFamily.empty() && t.active && exitChecked; };
  bool lockable = std::any_of(targets.begin(), targets.end(), lockEligible);
  if (lockable && Wanted("a target in use", targets, options, row, tally, lockEligible)) {
    for (const Target& t : targets) {
      if (!lockEligible(t)) continue;
      Seed(t);
      HANDLE lock = Lock(t);
      check.Expect(lock != INVALID_HANDLE_VALUE, &t, "the target can be held open");
      if (lock == INVALID_HANDLE_VALUE) continue;
      bool ok = RunBody(body, tally, lines);
      CloseHandle(lock);
      check.Expect(!ok && g_lastEnded, &t, "with the target in use the row reports failure");
      break;
    }
  }

  for (const Target& t : targets) {
    Counts& counts = tally->families[t.family];
    ++counts.steps;
    if (!check.failedTarget(&t)) ++counts.passed;
  }
  if (!check.failed()) ++tally->rowsPassed;
  if (check.disagreed()) tally->disagreeing.push_back(row);
  std::printf("%s %s: state %s before any row ran, %s after its run; the state check %s; run again %s\n",
              check.failed() ? "failed" : "ok", row.c_str(), fresh.c_str(), StateText(applied).c_str(),
              check.disagreed() ? "DISAGREES" : "agrees",
              skips                ? "with skipping on: passed by"
              : applied.alwaysRuns ? "with skipping on: runs, it deletes or cleans"
                                   : "with skipping on: runs");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::vector<RowSource> rows;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--guarded-only") {
      options.guardedOnly = true;
    } else if (arg == "--sample-checks") {
      options.sampleChecks = true;
    } else {
      std::ifstream in(arg, std::ios::binary);
      rows.push_back({arg, std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()}});
    }
  }
  // %TEMP% in a source means the batch's TEMP, which the runner sets itself.
  const std::u16string temp = CheckedProfileTemp(SystemEnvironmentFacts(), platform::KindOfEntry);
  if (!temp.empty()) {
    const std::wstring wide(temp.begin(), temp.end());
    SetEnvironmentVariableW(L"TEMP", wide.c_str());
    SetEnvironmentVariableW(L"TMP", wide.c_str());
  }
  uint32_t build = RunningBuild();
  std::printf("Windows build %u reported\n", build);
  std::vector<const Tweak*> tweaks = LoadRowTweaks(rows);
  Tally tally;
  // The state of every row on the fresh prefix, before any of them runs.
  std::vector<std::string> fresh;
  for (const Tweak* tweak : tweaks) {
    if (tweak == nullptr) {
      fresh.push_back("-");
      continue;
    }
    const TweakCheck state = CheckRowState(*tweak);
    ++tally.freshStates[TweakStateWord(state.state)];
    fresh.push_back(StateText(state));
  }
  std::printf("State of the %zu rows before any ran:", rows.size());
  for (const auto& [word, count] : tally.freshStates) std::printf(" %s %d", word.c_str(), count);
  std::printf("\n");
  for (size_t i = 0; i < rows.size(); ++i) CheckRow(rows[i], tweaks[i], fresh[i], options, build, &tally);

  std::printf("\nSteps by family (executed / passing):\n");
  for (const auto& [family, counts] : tally.families) {
    std::printf("  %-34s %4d / %4d\n", family.c_str(), counts.steps, counts.passed);
  }
  std::printf("Rows not executable under Wine (run once: an exit code, no hang):\n");
  for (const auto& [reason, rows] : tally.notExecutable) {
    std::printf("  %s: %zu rows\n", reason.c_str(), rows.size());
    for (const std::string& row : rows) std::printf("    %s\n", row.c_str());
  }
  std::printf("Rows whose effects are checked but not their exit code:\n");
  for (const auto& [reason, rows] : tally.exitUnchecked) {
    std::printf("  %s: %zu rows\n", reason.c_str(), rows.size());
    for (const std::string& row : rows) std::printf("    %s\n", row.c_str());
  }
  std::printf("Rows: %d run, %d passing\n", tally.rows, tally.rowsPassed);
  std::printf(
      "State check against the effects: %d rows checked, %zu agree, %zu disagree; %d passed by as applied"
      " when run again with skipping on\n",
      tally.agreementRows, tally.agreementRows - tally.disagreeing.size(), tally.disagreeing.size(), tally.skippedRows);
  for (const std::string& row : tally.disagreeing) std::printf("    disagrees: %s\n", row.c_str());
  for (const auto& [name, sampled] : tally.sampledRows) {
    if (!options.sampleChecks) break;
    std::printf("Rows with %s (%zu, covering %zu variants):\n", name.c_str(), sampled.size(),
                tally.covered[name].size());
    for (const std::string& row : sampled) std::printf("    %s\n", row.c_str());
  }
  if (tally.powershellLines > 0) {
    std::printf("Bodies ran %.0f s for %d PowerShell step lines: %.2f s a step\n", tally.runSeconds,
                tally.powershellLines, tally.runSeconds / tally.powershellLines);
  }
  std::printf("%d passed, %d failed\n", tally.checksPassed, tally.checksFailed);
  return tally.checksFailed == 0 ? 0 : 1;
}
