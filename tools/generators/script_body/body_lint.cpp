#include "tools/generators/script_body/body_lint.h"

#include "tools/generators/script_body/body_format.h"
#include "tools/generators/script_body/version_guard.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>

namespace {

// How step headers begin (after ":: "); a header is followed by its step line.
constexpr std::array<std::string_view, 24> kHeaderStarts = {
    "Set the registry value: ",
    "Delete the registry value ",
    "Remove the registry key ",
    "Create \"",
    "Clear registry values from ",
    "Clear directory contents",
    "Delete files matching pattern: ",
    "Delete directory ",
    "Soft delete files matching pattern: ",
    "Disable service(s): ",
    "Disable the ",
    "Stop service: ",
    "Start service: ",
    "Disable scheduled task(s): ",
    "Uninstall ",
    "Add hosts entries for ",
    "Add a rule to prevent the executable ",
    "Activate the DisallowRun policy",
    "Suggest restarting ",
    "Empty the Recycle Bin",
    "Disable NetBIOS over TCP/IP",
    "Create a placeholder file at ",
    "Remove the ",
    "Check and terminate the running process ",
};
constexpr std::string_view kBatchStepHeader = "Check and terminate the running process ";
constexpr std::string_view kBatchStepStart = "tasklist ";

constexpr std::string_view kEarlierNote = "This operation will not run on Windows versions earlier than ";
constexpr std::string_view kLaterNote = "This operation will not run on Windows versions later than ";

bool StartsWith(std::string_view text, std::string_view head) { return text.substr(0, head.size()) == head; }

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// The position of the first case-insensitive occurrence of word in text at
// or after from; npos when there is none.
size_t FindNoCase(std::string_view text, std::string_view word, size_t from = 0) {
  for (size_t i = from; i + word.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < word.size() && Lower(text[i + k]) == Lower(word[k])) ++k;
    if (k == word.size()) return i;
  }
  return std::string_view::npos;
}

bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-'; }

// Where a command word (powershell, rd, del, ...) stands in a line: at the
// start or after a separator, and followed by ".exe" (when exe_allowed), a
// blank, a quote or the end. Finds every occurrence, case-insensitively.
std::vector<size_t> CommandWords(std::string_view line, std::string_view word, bool exe_allowed) {
  std::vector<size_t> found;
  for (size_t at = FindNoCase(line, word); at != std::string_view::npos; at = FindNoCase(line, word, at + 1)) {
    if (at > 0 && (IsWordChar(line[at - 1]) || line[at - 1] == '$' || line[at - 1] == '.' || line[at - 1] == ':')) {
      continue;
    }
    size_t end = at + word.size();
    if (exe_allowed && FindNoCase(line.substr(end, 4), ".exe") == 0) end += 4;
    if (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '"' && line[end] != '\'') continue;
    found.push_back(at);
  }
  return found;
}

// Every call of PowerShell in a line carries -NoProfile and -NonInteractive
// before the command it is given: an elevated PowerShell may load no
// profile script, and a prompt must fail instead of waiting.
void CheckPowerShellCalls(std::string_view line, int number, std::vector<LintProblem>* problems) {
  for (std::string_view shell : {std::string_view("powershell"), std::string_view("pwsh")}) {
    std::vector<size_t> calls = CommandWords(line, shell, true);
    for (size_t i = 0; i < calls.size(); ++i) {
      size_t end = i + 1 < calls.size() ? calls[i + 1] : line.size();
      std::string_view call = line.substr(calls[i], end - calls[i]);
      size_t command = call.size();
      for (std::string_view start : {" -Command", " -c ", " -File", " -EncodedCommand"}) {
        command = std::min(command, FindNoCase(call, start));
      }
      std::string_view switches = call.substr(0, command);
      for (std::string_view needed : {" -NoProfile", " -NonInteractive"}) {
        size_t at = FindNoCase(switches, needed);
        if (at == std::string_view::npos ||
            (at + needed.size() < switches.size() && IsWordChar(switches[at + needed.size()]))) {
          problems->push_back({number, "a PowerShell call without " + std::string(needed.substr(1)) +
                                           " before its command (it runs elevated)"});
        }
      }
    }
  }
}

std::vector<std::string_view> SplitLines(std::string_view body) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < body.size()) {
    size_t end = body.find('\n', start);
    if (end == std::string_view::npos) end = body.size();
    lines.push_back(body.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

bool IsComment(std::string_view line) { return StartsWith(line, "::"); }

bool IsSeparator(std::string_view line) { return line == SeparatorLine(); }

// ":: " followed by dashes only (of any number) or by dashes, a title and
// dashes: the two comment forms built of dashes.
bool IsDashLine(std::string_view line) { return StartsWith(line, ":: -") && line.back() == '-'; }

bool IsHeader(std::string_view line) {
  if (!StartsWith(line, ":: ")) return false;
  std::string_view text = line.substr(3);
  for (std::string_view start : kHeaderStarts) {
    if (StartsWith(text, start)) return true;
  }
  return false;
}

std::optional<GuardKind> NoteKind(std::string_view line, std::string_view* name) {
  if (!StartsWith(line, ":: ")) return std::nullopt;
  std::string_view text = line.substr(3);
  for (auto [prefix, kind] :
       {std::pair{kEarlierNote, GuardKind::kMinimum}, std::pair{kLaterNote, GuardKind::kMaximum}}) {
    if (StartsWith(text, prefix) && text.size() > prefix.size() + 1 && text.back() == '.') {
      *name = text.substr(prefix.size(), text.size() - prefix.size() - 1);
      return kind;
    }
  }
  return std::nullopt;
}

void CheckDashLine(const std::vector<std::string_view>& lines, size_t i, std::vector<LintProblem>* problems) {
  int number = static_cast<int>(i) + 1;
  std::string_view text = lines[i].substr(3);
  size_t left = text.find_first_not_of('-');
  if (left == std::string_view::npos) {
    if (text.size() != kBannerWidth) problems->push_back({number, "a separator has 58 dashes"});
    return;
  }
  size_t right = text.size() - 1 - text.find_last_not_of('-');
  bool centred = text.size() == kBannerWidth && (right == left || right == left + 1) && text[left] != ' ' &&
                 text[text.size() - right - 1] != ' ';
  if (!centred) {
    problems->push_back({number, "a title banner is centred in dashes to 58 characters, the odd dash to the right"});
  }
  if (i == 0 || i + 1 >= lines.size() || !IsSeparator(lines[i - 1]) || !IsSeparator(lines[i + 1])) {
    problems->push_back({number, "a title banner stands between two separators"});
  }
}

// The guard of the given kind and version in a decoded script, with the whole
// table of its kind.
void CheckGuard(std::string_view script, GuardKind kind, std::string_view name, int number,
                std::vector<LintProblem>* problems) {
  bool minimum = kind == GuardKind::kMinimum;
  std::string limit = minimum ? "$minVersion" : "$maxVersion";
  std::string head = "$versionName = '" + std::string(name) + "'; " + limit + " = switch ($versionName) { ";
  size_t at = script.find(head);
  if (at == std::string_view::npos) {
    problems->push_back({number, "the step has no " + std::string(minimum ? "minimum" : "maximum") +
                                     " version guard for " + std::string(name)});
    return;
  }
  size_t end = script.find("default { throw ", at);
  if (end == std::string_view::npos) {
    problems->push_back({number, "the version guard's switch has no default that raises an internal error"});
    return;
  }
  std::string_view clauses = script.substr(at + head.size(), end - at - head.size());
  std::string expected;
  for (const VersionEntry& entry : VersionTable(kind)) {
    // Appended piece by piece: see PsAssign.
    expected += '\'';
    expected += entry.name;
    expected += "' { '";
    expected += entry.build;
    expected += "' }; ";
  }
  if (clauses != expected) {
    problems->push_back({number, "the version guard's switch does not carry exactly the whole " +
                                     std::string(minimum ? "minimum" : "maximum") + " table"});
  }
  std::string compare = std::string("if ($verNoPatch ") + (minimum ? "-lt" : "-gt") + " [version]" + limit + ") { ";
  size_t test = script.find(compare, end);
  if (test == std::string_view::npos || script.find("; exit 0 }", test) == std::string_view::npos) {
    problems->push_back({number, "the version guard does not compare the running version and exit with 0"});
  }
}

// Folders where a standard user can create folders of any name. A wildcard
// in the path component right after one of them (or appended to a variable
// that names one) can match a folder that user made, and the step would then
// act inside it or run what it finds there.
constexpr std::array<std::string_view, 12> kUserCreatableVariables = {
    "SystemDrive",  "HOMEDRIVE", "ProgramData", "ALLUSERSPROFILE", "PUBLIC",   "USERPROFILE", "APPDATA",
    "LOCALAPPDATA", "TEMP",      "TMP",         "OneDrive",        "HOMEPATH",
};
// Folders only administrators can write that stand right below a drive's
// root: a wildcard appended to their variable ("$env:ProgramFiles*") matches
// any folder beside them whose name begins alike, which a user can create.
constexpr std::array<std::string_view, 8> kDriveChildVariables = {
    "ProgramFiles",       "ProgramFiles(x86)", "ProgramW6432", "CommonProgramFiles", "CommonProgramFiles(x86)",
    "CommonProgramW6432", "SystemRoot",        "windir",
};
// Below a drive's root, the folders where users create folders.
constexpr std::array<std::string_view, 4> kUserCreatableBelowRoot = {"Users\\Public", "Users", "ProgramData",
                                                                     "Windows\\Temp"};

bool IsPathEnd(std::string_view text, size_t at) {
  if (at >= text.size()) return true;
  char c = text[at];
  return c == '\\' || c == '/' || c == '\'' || c == '"' || c == ';' || c == ',' || c == ')' || c == '|' ||
         (c == ' ' && at + 1 < text.size() && text[at + 1] == '-');
}

// The text from at up to the end of its path component.
std::string_view ComponentAt(std::string_view text, size_t at) {
  size_t end = at;
  while (!IsPathEnd(text, end)) ++end;
  return text.substr(at, end - at);
}

bool HasWildcard(std::string_view component) { return component.find_first_of("*?") != std::string_view::npos; }

// Checks the component that follows a root ending just before at: a
// separator and then a component without a wildcard.
void CheckAfterRoot(std::string_view text, size_t at, std::string_view root, int number,
                    std::vector<LintProblem>* problems) {
  if (at < text.size() && (text[at] == '\\' || text[at] == '/') && HasWildcard(ComponentAt(text, at + 1))) {
    problems->push_back({number, "a wildcard right after " + std::string(root) +
                                     ", where any user can create a folder it would match"});
  }
}

// Every spelling of an environment variable in a batch line or a PowerShell
// script: %NAME%, $env:NAME and ${env:NAME}. Returns the end of each.
std::vector<std::pair<size_t, size_t>> VariableSpellings(std::string_view text, std::string_view name) {
  std::vector<std::pair<size_t, size_t>> found;
  for (std::string head : {"%", "$env:", "${env:"}) {
    std::string spelling = head + std::string(name) + (head == "%" ? "%" : head == "${env:" ? "}" : "");
    for (size_t at = FindNoCase(text, spelling); at != std::string_view::npos;
         at = FindNoCase(text, spelling, at + 1)) {
      size_t end = at + spelling.size();
      if (head == "$env:" && end < text.size() && (IsWordChar(text[end]) || text[end] == '(')) continue;
      found.emplace_back(at, end);
    }
  }
  return found;
}

void CheckWildcardRoots(std::string_view text, int number, std::vector<LintProblem>* problems) {
  for (std::string_view name : kUserCreatableVariables) {
    for (auto [at, end] : VariableSpellings(text, name)) {
      std::string_view spelling = text.substr(at, end - at);
      if (HasWildcard(ComponentAt(text, end))) {
        problems->push_back({number, "a wildcard appended to " + std::string(spelling) +
                                         ", where any user can create a folder it would match"});
      }
      CheckAfterRoot(text, end, spelling, number, problems);
    }
  }
  for (std::string_view name : kDriveChildVariables) {
    for (auto [at, end] : VariableSpellings(text, name)) {
      std::string_view spelling = text.substr(at, end - at);
      if (HasWildcard(ComponentAt(text, end))) {
        problems->push_back({number, "a wildcard appended to " + std::string(spelling) +
                                         ", which names a folder below the drive's root, where any user can create "
                                         "a folder it would match"});
      }
      if (FindNoCase(text.substr(end), "\\Temp") == 0 && IsPathEnd(text, end + 5)) {
        CheckAfterRoot(text, end + 5, std::string(spelling) + "\\Temp", number, problems);
      }
    }
  }
  for (size_t i = 0; i + 2 < text.size(); ++i) {
    bool drive = std::isalpha(static_cast<unsigned char>(text[i])) && text[i + 1] == ':' && text[i + 2] == '\\' &&
                 (i == 0 || !(IsWordChar(text[i - 1]) || text[i - 1] == '$' || text[i - 1] == ':'));
    if (!drive) continue;
    CheckAfterRoot(text, i + 2, "the drive's root " + std::string(text.substr(i, 3)), number, problems);
    for (std::string_view below : kUserCreatableBelowRoot) {
      if (FindNoCase(text.substr(i + 3), below) == 0 && IsPathEnd(text, i + 3 + below.size())) {
        CheckAfterRoot(text, i + 3 + below.size(), text.substr(i, 3 + below.size()), number, problems);
      }
    }
  }
}

// A cmd deletion that descends into a tree (rd /s, rmdir /s, del /s, erase
// /s): it goes through the tree by path, where a folder swapped for a
// junction between two of its steps leads it out of the tree.
void CheckBatchTreeDeletion(std::string_view line, int number, std::vector<LintProblem>* problems) {
  for (std::string_view command : {"rd", "rmdir", "del", "erase"}) {
    for (size_t at : CommandWords(line, command, false)) {
      bool quoted = false;
      for (size_t i = at + command.size(); i < line.size(); ++i) {
        char c = line[i];
        if (c == '"') quoted = !quoted;
        if (!quoted && (c == '&' || c == '|' || c == ')')) break;
        if (!quoted && c == '/' && i + 1 < line.size() && Lower(line[i + 1]) == 's' &&
            (i + 2 == line.size() || !IsWordChar(line[i + 2]))) {
          // Built by appending: see PsAssign.
          std::string message = "\"";
          message += command;
          message +=
              " /s\" deletes a tree by path and can be led through a junction: use Clear directory contents "
              "or Delete directory";
          problems->push_back({number, message});
          break;
        }
      }
    }
  }
}

// A file-system location named in a PowerShell script: a drive path, a .NET
// file or folder call, a known folder, the shell, or an environment variable.
bool NamesFileSystem(std::string_view script) {
  for (std::string_view mark : {"[System.IO.", "GetFolderPath", "Shell.Application", "$env:", "${env:"}) {
    if (FindNoCase(script, mark) != std::string_view::npos) return true;
  }
  for (size_t i = 0; i + 2 < script.size(); ++i) {
    if (std::isalpha(static_cast<unsigned char>(script[i])) && script[i + 1] == ':' && script[i + 2] == '\\' &&
        (i == 0 || !IsWordChar(script[i - 1]))) {
      return true;
    }
    if (script[i] == '%' && std::isalpha(static_cast<unsigned char>(script[i + 1]))) {
      size_t end = script.find('%', i + 1);
      if (end != std::string_view::npos &&
          script.substr(i + 1, end - i - 1).find_first_of(" '\"") == std::string_view::npos) {
        return true;
      }
    }
  }
  return false;
}

// A PowerShell script that deletes or walks a folder tree by itself: Windows
// PowerShell 5.1's Remove-Item -Recurse and Get-ChildItem -Recurse follow
// junctions, and Directory.Delete(path, $true) deletes by path. -Recurse
// stays allowed in a script that names no file-system location (a registry
// step). The module path reset that begins every step is not looked at.
void CheckScriptTreeDeletion(std::string_view script, int number, std::vector<LintProblem>* problems) {
  std::string reset = std::string(kModulePathReset) + "; ";
  if (StartsWith(script, reset)) script.remove_prefix(reset.size());
  size_t recurse = FindNoCase(script, "-Recurse");
  while (recurse != std::string_view::npos && recurse + 8 < script.size() && IsWordChar(script[recurse + 8])) {
    recurse = FindNoCase(script, "-Recurse", recurse + 1);
  }
  if (recurse != std::string_view::npos && NamesFileSystem(script)) {
    problems->push_back({number,
                         "-Recurse in a step that works on files: Windows PowerShell 5.1 follows junctions "
                         "through it; delete and walk trees with [QfFileTree]"});
  }
  for (size_t at = FindNoCase(script, "Directory]::Delete("); at != std::string_view::npos;
       at = FindNoCase(script, "Directory]::Delete(", at + 1)) {
    size_t close = script.find(')', at);
    if (FindNoCase(script.substr(at, close - at), "$true") != std::string_view::npos) {
      problems->push_back({number,
                           "Directory.Delete with recursion deletes a tree by path; delete trees with "
                           "[QfFileTree]"});
    }
  }
  CheckBatchTreeDeletion(script, number, problems);
}

}  // namespace

bool DecodeStepLine(std::string_view line, std::string* script, std::string* problem) {
  if (!StartsWith(line, kStepLinePrefix)) {
    *problem = "a step line begins with \"" + std::string(kStepLinePrefix) + "\"";
    return false;
  }
  // cmd, first pass: percent signs. In a step line every one is doubled.
  std::string expanded;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] != '%') {
      expanded += line[i];
    } else if (i + 1 < line.size() && line[i + 1] == '%') {
      expanded += '%';
      ++i;
    } else {
      *problem = "a single percent sign in a step line would be expanded or dropped by cmd";
      return false;
    }
  }
  // cmd, second pass: quotes toggle; outside them a caret escapes the next
  // character and &, |, < and > are operators.
  std::string passed;
  bool quoted = false;
  for (size_t i = 0; i < expanded.size(); ++i) {
    char c = expanded[i];
    if (c == '"') {
      quoted = !quoted;
      passed += c;
    } else if (!quoted && c == '^') {
      if (i + 1 == expanded.size()) {
        *problem = "a caret at the end of a step line continues it on the next line";
        return false;
      }
      passed += expanded[++i];
    } else if (!quoted && (c == '&' || c == '|' || c == '<' || c == '>')) {
      *problem = std::string("the cmd operator ") + c + " stands outside quotes in a step line";
      return false;
    } else {
      passed += c;
    }
  }
  if (quoted) {
    *problem = "a step line leaves a double quote unbalanced";
    return false;
  }
  // PowerShell's command line: the script is one argument in double quotes.
  // Inside them "" gives a double quote and ends the quoted part, and the next
  // " begins a new one, so """ stands for one double quote (and a run of
  // 3 x n quotes for n of them) while the text stays quoted throughout.
  std::string_view argument = std::string_view(passed).substr(kStepLinePrefix.size());
  if (argument.size() < 2 || argument.front() != '"' || argument.back() != '"') {
    *problem = "the script of a step line stands in double quotes";
    return false;
  }
  std::string_view inner = argument.substr(1, argument.size() - 2);
  std::string decoded;
  for (size_t i = 0; i < inner.size(); ++i) {
    if (inner[i] == '"') {
      if (inner.substr(i, 3) != "\"\"\"") {
        *problem = "a double quote in a step script is written \"^\"\"";
        return false;
      }
      i += 2;
    }
    if (inner[i] == '\\' && (i + 1 == inner.size() || inner[i + 1] == '"')) {
      *problem = "a backslash before a double quote would escape it in PowerShell's command line";
      return false;
    }
    decoded += inner[i];
  }
  *script = std::move(decoded);
  return true;
}

std::vector<LintProblem> LintBody(std::string_view body) {
  std::vector<LintProblem> problems;
  if (body.empty()) return {{0, "the body is empty"}};
  if (body.back() != '\n') problems.push_back({0, "the body ends with a line feed"});
  std::vector<std::string_view> lines = SplitLines(body);
  int first_record = 0;
  int reset = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    int number = static_cast<int>(i) + 1;
    std::string_view line = lines[i];
    for (char c : line) {
      auto byte = static_cast<unsigned char>(c);
      if (c == '\r') {
        problems.push_back({number, "a carriage return (lines end with LF only)"});
      } else if (c == '\0') {
        problems.push_back({number, "a NUL byte"});
      } else if (byte > 127) {
        problems.push_back({number, "a byte above 127 (bodies are ASCII)"});
      } else if (byte < 32 && c != '\t') {
        problems.push_back({number, "a control byte"});
      } else if (c == '!') {
        problems.push_back({number, "an exclamation mark (the wrapper's delayed expansion eats it)"});
      } else {
        continue;
      }
      break;
    }
    if (line.size() > kMaxLineLength) problems.push_back({number, "a line longer than cmd reads (8191 characters)"});
    if (line.find("%~") != std::string_view::npos && IsComment(line)) {
      problems.push_back({number, "\"%~\" in a comment is a batch syntax error"});
    }
    if (line == kFailureReset && reset == 0) reset = number;
    if (line == kFailureRecord || line.find("set \"QF_FAILED=1\"") != std::string_view::npos) {
      if (first_record == 0) first_record = number;
    }
    if (IsDashLine(line)) CheckDashLine(lines, i, &problems);
    if (!IsComment(line)) CheckPowerShellCalls(line, number, &problems);
    if (!IsComment(line) && !StartsWith(line, kStepLinePrefix)) {
      CheckWildcardRoots(line, number, &problems);
      CheckBatchTreeDeletion(line, number, &problems);
    }

    std::string_view version;
    if (NoteKind(line, &version).has_value()) {
      size_t back = i;
      while (back > 0 && NoteKind(lines[back - 1], &version).has_value()) --back;
      if (back == 0 || !IsHeader(lines[back - 1])) {
        problems.push_back({number, "a version note follows a step header"});
      }
    }

    if (IsHeader(line)) {
      bool batch = StartsWith(line.substr(3), kBatchStepHeader);
      size_t next = i + 1;
      std::optional<GuardKind> previous;
      std::vector<std::pair<GuardKind, std::string_view>> notes;
      std::optional<GuardKind> kind;
      while (next < lines.size() && (kind = NoteKind(lines[next], &version)).has_value()) {
        if (previous == GuardKind::kMaximum || previous == kind) {
          problems.push_back({static_cast<int>(next) + 1, "at most one minimum note then one maximum note"});
        }
        bool known = IsKnownVersion(*kind, version);
        if (!known) problems.push_back({static_cast<int>(next) + 1, "unknown version name " + std::string(version)});
        if (known) notes.emplace_back(*kind, version);
        previous = kind;
        ++next;
      }
      bool step_follows = next < lines.size() &&
                          (batch ? StartsWith(lines[next], kBatchStepStart) : StartsWith(lines[next], kStepLinePrefix));
      if (!step_follows) {
        problems.push_back({number, "a step header is followed by its one step line"});
      } else if (batch && !notes.empty()) {
        problems.push_back({number, "a batch step carries no version guard"});
      } else if (!batch) {
        std::string script, problem;
        if (DecodeStepLine(lines[next], &script, &problem)) {
          for (auto [note_kind, note_version] : notes) {
            CheckGuard(script, note_kind, note_version, static_cast<int>(next) + 1, &problems);
          }
        }
      }
    }

    if (StartsWith(line, kStepLinePrefix)) {
      std::string script, problem;
      if (!DecodeStepLine(line, &script, &problem)) {
        problems.push_back({number, problem});
      } else {
        bool noted = i > 0 && NoteKind(lines[i - 1], &version).has_value();
        bool guarded = script.find("$minVersion = switch") != std::string::npos ||
                       script.find("$maxVersion = switch") != std::string::npos;
        if (guarded && !noted) problems.push_back({number, "a guarded step is preceded by its version note"});
        CheckWildcardRoots(script, number, &problems);
        CheckScriptTreeDeletion(script, number, &problems);
        if (!StartsWith(script, std::string(kModulePathReset) + "; ")) {
          problems.push_back({number, "a step script begins with \"" + std::string(kModulePathReset) + "\""});
        }
      }
      if (i + 1 >= lines.size() || lines[i + 1] != kFailureRecord) {
        problems.push_back({number, "a step line is followed by \"" + std::string(kFailureRecord) + "\""});
      }
    }
  }
  if (first_record != 0) {
    if (reset == 0 || reset > first_record) {
      problems.push_back({first_record, "a body that records failures first clears QF_FAILED"});
    }
    std::string_view last;
    for (std::string_view line : lines) {
      if (!line.empty() && !IsComment(line)) last = line;
    }
    if (last != kFailureExit) {
      problems.push_back({0, "a body that records failures ends with \"" + std::string(kFailureExit) + "\""});
    }
  }
  return problems;
}

std::vector<StepScript> StepScripts(std::string_view body) {
  std::vector<StepScript> scripts;
  std::vector<std::string_view> lines = SplitLines(body);
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string script, problem;
    if (StartsWith(lines[i], kStepLinePrefix) && DecodeStepLine(lines[i], &script, &problem)) {
      scripts.push_back({static_cast<int>(i) + 1, std::move(script)});
    }
  }
  return scripts;
}

std::string FormatProblems(const std::vector<LintProblem>& problems) {
  std::string text;
  for (const LintProblem& problem : problems) {
    if (problem.line > 0) text += "line " + std::to_string(problem.line) + ": ";
    text += problem.message + "\n";
  }
  return text;
}
