// File families: clear a directory's contents, delete files matching a
// pattern, delete a directory, soft delete (rename to .OLD); each optionally
// with additional permissions, where the step enables the backup and restore
// privileges and opens every object for backup: access rules then stop
// neither listing, deleting nor renaming, and no access rule is changed.

#include "tools/generators/script_body/families.h"
#include "tools/generators/script_body/powershell_text.h"

#include <array>
#include <cctype>
#include <string>
#include <vector>

namespace {

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// A path begins with a drive and names something below its root, or begins
// with an environment variable; a relative path would act on whatever folder
// the batch runs in.
bool CheckPath(const SourceBlock& block, std::string_view name, std::string_view path, std::string* error) {
  bool drive = path.size() > 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
               path[2] == '\\' && path[3] != '\\' && path[3] != '*';
  bool variable = path.size() > 2 && path[0] == '%' && path.find('%', 1) != std::string_view::npos;
  if (!drive && !variable) {
    return Fail(block, name, "a path begins with a drive (C:\\...) or an environment variable (%NAME%)", error);
  }
  if (path.find_first_of("\";") != std::string_view::npos) {
    return Fail(block, name, "a path cannot hold a double quote or a semicolon", error);
  }
  return true;
}

// A pattern names its files in its last part only: the folder it looks in is
// named, never matched.
bool CheckPattern(const SourceBlock& block, std::string* error) {
  std::string_view pattern = Param(block, "pattern");
  if (!CheckPath(block, "pattern", pattern, error)) return false;
  size_t last = pattern.rfind('\\');
  if (last == std::string_view::npos || pattern.substr(0, last).find_first_of("*?") != std::string_view::npos ||
      last + 1 == pattern.size()) {
    return Fail(block, "pattern", "a pattern ends with the file names it matches; only that last part holds wildcards",
                error);
  }
  return true;
}

// The directories of a "directory" value: one path, or several separated by
// ";" (Clear directory contents), each without a trailing "\" or "\*".
std::vector<std::string> DirectoryList(std::string_view value) {
  std::vector<std::string> paths;
  size_t start = 0;
  while (start <= value.size()) {
    size_t end = value.find(';', start);
    if (end == std::string_view::npos) end = value.size();
    std::string path(value.substr(start, end - start));
    start = end + 1;
    path.erase(0, path.find_first_not_of(' '));
    path.erase(path.find_last_not_of(' ') + 1);
    if (EndsWith(path, "\\*")) path.resize(path.size() - 2);
    while (!path.empty() && path.back() == '\\') path.pop_back();
    paths.push_back(path);
  }
  return paths;
}

std::string PsArray(const std::vector<std::string>& values) {
  std::string array = "@(";
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) array += ", ";
    array += PsQuote(values[i]);
  }
  return array + ")";
}

// A path that begins with %TEMP% or %TMP% is worked on only when that
// variable names a folder called Temp or Tmp, so that a variable pointing at
// a drive's root or a data folder never leads to deleting there.
constexpr std::string_view kTemporaryFolderCheck = R"ps(
  if (@@GIVEN@@ -match '^%(TEMP|TMP)%') {
    $temporaryFolder = [Environment]::ExpandEnvironmentVariables($Matches[0]).TrimEnd('\')
    if (@('Temp', 'Tmp') -notcontains [IO.Path]::GetFileName($temporaryFolder)) {
      Write-Warning "Skipping $folderPath, $($Matches[0]) is not a folder named Temp or Tmp: $temporaryFolder"
      @@SKIP@@
    }
  }
)ps";

bool StartsWithTemporaryFolder(std::string_view path) {
  for (std::string_view root : {"%TEMP%", "%TMP%"}) {
    if (path.size() >= root.size()) {
      bool same = true;
      for (size_t i = 0; i < root.size(); ++i) {
        same = same && std::toupper(static_cast<unsigned char>(path[i])) == root[i];
      }
      if (same) return true;
    }
  }
  return false;
}

// given: the variable that holds the path as the source gives it.
std::string TemporaryFolderCheck(std::string_view path, std::string_view given, std::string_view skip) {
  if (!StartsWithTemporaryFolder(path)) return "";
  return Splice(Splice(JoinPowerShell(kTemporaryFolderCheck), "@@SKIP@@", skip), "@@GIVEN@@", given);
}

// $folder: the folder at $folderPath, opened from the drive's root one
// component at a time, none of them a link; the step skips the folder when
// it is missing or reached through a link.
constexpr std::string_view kOpenFolder = R"ps(
  $why = $null
  $folder = [QfFileTree]::OpenFolder($folderPath, [ref]$why)
  if ($folder -eq [IntPtr]::Zero) {
    if ($why) { Write-Warning "Skipping, nothing is deleted through a link or in place of a folder: $why." } else { Write-Host "Skipping, $folderPath does not exist." }
    @@SKIP@@
  }
)ps";

std::string OpenFolder(std::string_view skip) { return Splice(JoinPowerShell(kOpenFolder), "@@SKIP@@", skip); }

// A step that could delete nothing of what it found has failed; one that
// deleted some items and met files in use has done what it could.
constexpr std::string_view kDeleteSummary = R"ps(
  $deletedCount = [QfFileTree]::Deleted
  $failedCount = [QfFileTree]::Failed
  if (($deletedCount + $failedCount) -eq 0) {
    Write-Host 'Skipping, no items available.'
    exit 0
  }
  Write-Host "Successfully deleted $($deletedCount) items."
  if ($failedCount -gt 0) {
    Write-Warning "Failed to delete $($failedCount) items."
    if ($deletedCount -eq 0) { exit 1 }
  }
)ps";

std::string DeleteSummary() { return JoinPowerShell(kDeleteSummary); }

std::string Quoted(std::string_view text) {
  std::string quoted = "\"";  // built by appending: see PsAssign
  quoted += text;
  quoted += '"';
  return quoted;
}

// Everything below each folder goes; a link found there is deleted as a
// link, and its target keeps its contents.
constexpr std::string_view kClearContents = R"ps(
  foreach ($givenPath in $directoryPaths) {
    $folderPath = [Environment]::ExpandEnvironmentVariables($givenPath).TrimEnd('\')
    Write-Host "Clearing the contents of $folderPath"
    @@CHECKS@@
    try {
      foreach ($entry in [QfFileTree]::List($folder)) {
        [QfFileTree]::Remove($folder, $entry.Name, "$folderPath\$($entry.Name)", $true)
      }
    } finally {
      [QfFileTree]::Close($folder)
    }
  }
)ps";

bool ExpandClearDirectoryContents(const SourceBlock& block, std::vector<Step>* steps, std::string* error) {
  std::vector<std::string> paths = DirectoryList(Param(block, "directory"));
  std::string checks;
  std::string shown;
  for (const std::string& path : paths) {
    if (!CheckPath(block, "directory", path, error)) return false;
    if (checks.empty()) checks = TemporaryFolderCheck(path, "$givenPath", "continue");
    if (!shown.empty()) shown += ' ';
    shown += Quoted(path);
  }
  bool permissions = Flag(block, "with-additional-permissions");
  Step step;
  step.header = permissions ? "Clear directory contents (with additional permissions): " + shown
                            : "Clear directory contents  : " + shown;
  std::string loop =
      Splice(std::string(kClearContents), "@@CHECKS@@", JoinStatements({checks, OpenFolder("continue")}));
  step.script = JoinStatements({
      "$directoryPaths = " + PsArray(paths),
      CatchUnexpected(
          JoinStatements({FileTreeScript(FileTreeUse::kRemove, permissions), JoinPowerShell(loop), DeleteSummary()})),
  });
  steps->push_back(std::move(step));
  return true;
}

// The files of one folder whose names match the pattern's last part; a
// matching folder (a link to one too) is left alone.
constexpr std::string_view kDeleteMatchingFiles = R"ps(
  $expandedPath = [Environment]::ExpandEnvironmentVariables($pathGlobPattern)
  Write-Host "Searching for items matching pattern: $expandedPath"
  $folderPath = [IO.Path]::GetDirectoryName($expandedPath)
  $namePattern = [IO.Path]::GetFileName($expandedPath)
  @@CHECKS@@
  $skippedCount = 0
  try {
    foreach ($entry in [QfFileTree]::List($folder)) {
      if (-not ($entry.Name -like $namePattern)) { continue }
      $path = "$folderPath\$($entry.Name)"
      if ($entry.Attributes -band 16) {
        Write-Host "Skipping, the path is not a file but a folder: $($path)."
        $skippedCount++
        continue
      }
      [QfFileTree]::Remove($folder, $entry.Name, $path, $false)
    }
  } finally {
    [QfFileTree]::Close($folder)
  }
  if ($skippedCount -gt 0) { Write-Host "Skipped $($skippedCount) items." }
)ps";

bool ExpandDeleteFiles(const SourceBlock& block, std::vector<Step>* steps, std::string* error) {
  if (!CheckPattern(block, error)) return false;
  std::string_view pattern = Param(block, "pattern");
  bool permissions = Flag(block, "with-additional-permissions");
  Step step;
  step.header = "Delete files matching pattern: " + Quoted(pattern);
  std::string checks =
      JoinStatements({TemporaryFolderCheck(pattern, "$pathGlobPattern", "exit 0"), OpenFolder("exit 0")});
  step.script = JoinStatements({
      PsAssign("pathGlobPattern", pattern),
      CatchUnexpected(JoinStatements({
          FileTreeScript(FileTreeUse::kRemove, permissions),
          Splice(JoinPowerShell(kDeleteMatchingFiles), "@@CHECKS@@", checks),
          DeleteSummary(),
      })),
  });
  steps->push_back(std::move(step));
  return true;
}

// Refuses to delete a folder that holds a user shell folder (Desktop,
// Documents, ...), as happens when a cloud-sync client has moved them into its
// own folder under the user profile.
constexpr std::string_view kUserShellFolderGuard = R"ps(
  $heldFolders = @()
  $shellFolders = Get-Item -LiteralPath 'HKCU:\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders' -ErrorAction SilentlyContinue
  if ($shellFolders) {
    foreach ($name in $shellFolders.GetValueNames()) {
      $shellFolder = "$($shellFolders.GetValue($name))"
      if ($shellFolder -like "$folderPath*") { $heldFolders += "$($name): $shellFolder" }
    }
  }
  if ($heldFolders.Count -gt 0) {
    Write-Warning "To keep your computer running smoothly, OneDrive user folder will not be deleted. $($heldFolders -join ', ')"
    exit 0
  }
)ps";

// Empty folders go, deepest first, and the folder itself when nothing is left
// in it; every file and every link stays, and nothing is entered through a
// link.
constexpr std::string_view kDeleteEmptyFolders = R"ps(
  $folderPath = [Environment]::ExpandEnvironmentVariables($directoryPath).TrimEnd('\')
  Write-Host "Deleting the empty folders of $folderPath, and the folder itself when it is left empty."
  @@GUARD@@
  @@CHECKS@@
  if (& { try { [QfFileTree]::Prune($folder, $folderPath) } finally { [QfFileTree]::Close($folder) } }) {
    $parent = [QfFileTree]::OpenFolder([IO.Path]::GetDirectoryName($folderPath), [ref]$why)
    if ($parent -eq [IntPtr]::Zero) { throw "cannot open the folder above $($folderPath): $why" }
    try { [QfFileTree]::Remove($parent, [IO.Path]::GetFileName($folderPath), $folderPath, $false) } finally { [QfFileTree]::Close($parent) }
  } else {
    Write-Warning "Preserving non-empty folder $folderPath to protect your files."
  }
)ps";

bool ExpandDeleteDirectory(const SourceBlock& block, std::vector<Step>* steps, std::string* error) {
  std::string_view given = Param(block, "directory");
  if (!CheckPath(block, "directory", given, error)) return false;
  std::string path = DirectoryList(given).front();
  Step step;
  step.header = "Delete directory  : " + Quoted(given);
  std::string template_text =
      Splice(JoinPowerShell(kDeleteEmptyFolders), "@@GUARD@@", JoinPowerShell(kUserShellFolderGuard));
  template_text =
      Splice(template_text, "@@CHECKS@@",
             JoinStatements({TemporaryFolderCheck(path, "$directoryPath", "exit 0"), OpenFolder("exit 0")}));
  step.script = JoinStatements({
      PsAssign("directoryPath", path),
      CatchUnexpected(JoinStatements({FileTreeScript(FileTreeUse::kPrune, false), template_text, DeleteSummary()})),
  });
  steps->push_back(std::move(step));
  return true;
}

// Recursive: each folder below that is not a link, opened from the drive's
// root again, none of its components a link.
constexpr std::string_view kSoftDeleteDescend = R"ps(
  if (($entry.Attributes -band 0x400) -eq 0) {
    $child = [QfFileTree]::OpenFolder($path, [ref]$why)
    if ($child -ne [IntPtr]::Zero) {
      try { Rename-MatchingFiles $child $path } finally { [QfFileTree]::Close($child) }
    }
  }
)ps";

// Renames matching files to NAME.OLD in the pattern's folder (and, when
// recursive, in every folder below it that is not a link), skipping earlier
// .OLD files. With additional permissions the step enables the backup and
// restore privileges and opens every file for backup, so that access rules
// do not stop the rename and none is changed.
constexpr std::string_view kSoftDelete = R"ps(
  $expandedPath = [Environment]::ExpandEnvironmentVariables($pathGlobPattern)
  Write-Host "Searching for items matching pattern: $expandedPath"
  $folderPath = [IO.Path]::GetDirectoryName($expandedPath)
  $namePattern = [IO.Path]::GetFileName($expandedPath)
  $renamedCount = 0; $skippedCount = 0; $failedCount = 0
  function Rename-MatchingFiles($folder, $folderPath) {
    foreach ($entry in [QfFileTree]::List($folder)) {
      $path = "$folderPath\$($entry.Name)"
      if ($entry.Attributes -band 16) {
        if (($entry.Name -like $namePattern)) {
          Write-Host "Skipping folder (not its contents): $path"
          $script:skippedCount++
        }
        @@DESCEND@@
        continue
      }
      if (-not ($entry.Name -like $namePattern)) { continue }
      if ($path.EndsWith('.OLD', [System.StringComparison]::OrdinalIgnoreCase)) {
        Write-Host "Skipping backup file: $path"
        $script:skippedCount++
        continue
      }
      Write-Host "Processing file: $path"
      $newPath = $path + '.OLD'
      $renameStatus = [QfFileTree]::Rename($folder, $entry.Name, $entry.Name + '.OLD')
      $renamed = $renameStatus -ge 0
      if ($renamed) {
        Write-Host "Successfully processed $path"
        $script:renamedCount++
      } else {
        Write-Error "Failed to rename $path to $($newPath): $([QfFileTree]::Why($renameStatus))"
        $script:failedCount++
      }
    }
  }
  @@CHECKS@@
  try { Rename-MatchingFiles $folder $folderPath } finally { [QfFileTree]::Close($folder) }
  if (($renamedCount + $skippedCount + $failedCount) -eq 0) {
    Write-Host 'Skipping, no items available.'
    exit 0
  }
  if (($renamedCount -gt 0) -or ($skippedCount -gt 0)) {
    Write-Host "Successfully processed $renamedCount items and skipped $skippedCount items."
  }
  if ($failedCount -gt 0) {
    Write-Warning "Failed to process $($failedCount) items."
    exit 1
  }
)ps";

bool ExpandSoftDelete(const SourceBlock& block, std::vector<Step>* steps, std::string* error) {
  if (!CheckPattern(block, error)) return false;
  std::string_view pattern = Param(block, "pattern");
  bool permissions = Flag(block, "with-additional-permissions");
  Step step;
  step.header =
      "Soft delete files matching pattern: " + Quoted(pattern) + (permissions ? " with additional permissions" : "");
  std::string text =
      Splice(std::string(kSoftDelete), "@@DESCEND@@", Flag(block, "recursive") ? kSoftDeleteDescend : "");
  text = Splice(JoinPowerShell(text), "@@CHECKS@@",
                JoinStatements({TemporaryFolderCheck(pattern, "$pathGlobPattern", "exit 0"), OpenFolder("exit 0")}));
  step.script = JoinStatements({
      PsAssign("pathGlobPattern", pattern),
      CatchUnexpected(JoinStatements({
          FileTreeScript(FileTreeUse::kRename, permissions),
          text,
      })),
  });
  steps->push_back(std::move(step));
  return true;
}

const std::array<FamilyDef, 4> kFileFamilies = {{
    {"clear-directory-contents", {"directory"}, {"with-additional-permissions"}, ExpandClearDirectoryContents},
    {"delete-files", {"pattern"}, {"with-additional-permissions"}, ExpandDeleteFiles},
    // It deletes empty folders only, which needs no access rules set aside.
    {"delete-directory", {"directory"}, {}, ExpandDeleteDirectory},
    {"soft-delete", {"pattern"}, {"recursive", "with-additional-permissions"}, ExpandSoftDelete},
}};

}  // namespace

std::span<const FamilyDef> FileFamilies() { return kFileFamilies; }
