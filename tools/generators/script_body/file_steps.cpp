// File families: clear a directory's contents, delete files matching a
// pattern, delete a directory, soft delete (rename to .OLD); each optionally
// with additional permissions.

#include "tools/generators/script_body/families.h"
#include "tools/generators/script_body/powershell_text.h"

#include <array>
#include <cctype>

namespace {

enum class FileFamily { kDirectoryContents, kFilePattern, kDirectory, kSoftDelete };

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// A path begins with a drive and names something below its root, or begins
// with an environment variable; a relative path would act on whatever folder
// the batch runs in.
bool CheckPath(const SourceBlock& block, std::string_view name, std::string* error) {
  std::string_view path = Param(block, name);
  bool drive = path.size() > 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
               path[2] == '\\' && path[3] != '\\' && path[3] != '*';
  bool variable = path.size() > 2 && path[0] == '%' && path.find('%', 1) != std::string_view::npos;
  if (!drive && !variable) {
    return Fail(block, name, "a path begins with a drive (C:\\...) or an environment variable (%NAME%)", error);
  }
  if (path.find('"') != std::string_view::npos) return Fail(block, name, "a path cannot hold a double quote", error);
  return true;
}

// What takeown and icacls are given: the pattern without a final "\*" and
// without trailing backslashes. They take no wildcards.
std::string GrantTarget(std::string_view pattern) {
  std::string target(pattern);
  if (EndsWith(target, "\\*")) target.resize(target.size() - 2);
  while (!target.empty() && target.back() == '\\') target.pop_back();
  return target;
}

constexpr std::string_view kSearchStart = R"ps(
  $expandedPath = [System.Environment]::ExpandEnvironmentVariables($pathGlobPattern)
  Write-Host "Searching for items matching pattern: `"$($expandedPath)`"."
)ps";

// Takes ownership of the target for the Administrators group and grants the
// group full control, so that the deletion is not refused.
constexpr std::string_view kGrantFileAccess = R"ps(
  $grantPath = $expandedPath
  if ($grantPath.EndsWith('\*')) { $grantPath = $grantPath.Substring(0, $grantPath.Length - 2) }
  $grantPath = $grantPath.TrimEnd('\')
  Write-Host "Taking ownership of `"$grantPath`"."
  $takeownArguments = @('/f', $grantPath, '/a')
  if (-not (Test-Path -LiteralPath $grantPath -PathType Leaf)) {
    $choicePrompt = "$(cmd /c 'choice <nul 2>nul')"
    if ($choicePrompt.Length -ge 2) {
      $yesLetter = "$($choicePrompt[1])"
    } else {
      $yesLetter = 'Y'
      Write-Warning 'Could not read the localized letter for yes, using Y.'
    }
    $takeownArguments += @('/r', '/d', $yesLetter)
  }
  & takeown.exe @takeownArguments | Out-Null
  if ($LASTEXITCODE -ne 0) { Write-Host "takeown ended with exit code $LASTEXITCODE for `"$grantPath`"." }
  $adminAccount = (New-Object System.Security.Principal.SecurityIdentifier 'S-1-5-32-544').Translate([System.Security.Principal.NTAccount]).Value
  Write-Host "Granting permissions for `"$grantPath`"."
  $icaclsOutput = @(& icacls.exe $grantPath /grant "$($adminAccount):F" /t 2>&1 | ForEach-Object { "$_" } | Where-Object { $_.Trim() })
  $icaclsExitCode = $LASTEXITCODE
  $icaclsSummary = if ($icaclsOutput.Count -gt 0) { $icaclsOutput[-1] } else { '' }
  if (($icaclsExitCode -eq 3) -or (($icaclsSummary -match '[0-9]') -and ($icaclsSummary -notmatch '[1-9]'))) {
    Write-Host "Skipping, no items available for deletion according to: icacls `"$grantPath`" /grant `"$($adminAccount):F`" /t."
    exit 0
  }
  if ($icaclsExitCode -ne 0) { Write-Warning "Failed to assign permissions for `"$grantPath`" (icacls exit code $icaclsExitCode)." }
)ps";

// Refuses to delete a folder that holds a user shell folder (Desktop,
// Documents, ...), as happens when a cloud-sync client has moved them into its
// own folder under the user profile.
constexpr std::string_view kUserShellFolderGuard = R"ps(
  try {
    $userShellFoldersRegistryPath = 'HKCU:\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders'
    if (-not (Test-Path -LiteralPath $userShellFoldersRegistryPath)) {
      Write-Host "Skipping the user shell folder check: `"$userShellFoldersRegistryPath`" does not exist."
    } else {
      $userShellFoldersKey = Get-Item -LiteralPath $userShellFoldersRegistryPath
      $userShellFolderNames = @($userShellFoldersKey.GetValueNames())
      if ($userShellFolderNames.Count -eq 0) {
        Write-Host 'Skipping the user shell folder check: no user shell folders are registered.'
      } else {
        $guardedPattern = $expandedPath.TrimEnd('\') + '*'
        $heldFolders = @()
        foreach ($userShellFolderName in $userShellFolderNames) {
          $userShellFolderPath = "$($userShellFoldersKey.GetValue($userShellFolderName))"
          if ($userShellFolderPath -and ($userShellFolderPath -like $guardedPattern)) {
            $heldFolders += "$($userShellFolderName): $($userShellFolderPath)"
          }
        }
        if ($heldFolders.Count -gt 0) {
          Write-Warning "To keep your computer running smoothly, OneDrive user folder will not be deleted. $($heldFolders -join ', ')"
          exit 0
        }
      }
    }
  } catch {
    Write-Warning "An error occurred during verification of user shell folders. Skipping prevent potential issues. Error: $($_.Exception.Message)"
    exit 0
  }
)ps";

constexpr std::string_view kCollectRecursively = R"ps(
  Write-Host 'Iterating files and directories recursively.'
  $foundAbsolutePaths += @(Get-ChildItem -Path $expandedPath -Force -Recurse -ErrorAction SilentlyContinue | Select-Object -ExpandProperty FullName)
)ps";

constexpr std::string_view kCollectMatches = R"ps(
  $foundAbsolutePaths += @(Get-Item -Path $expandedPath -Force -ErrorAction SilentlyContinue | Select-Object -ExpandProperty FullName)
  $foundAbsolutePaths = @($foundAbsolutePaths | Select-Object -Unique | Sort-Object -Property { $_.Length } -Descending)
  if ($foundAbsolutePaths.Count -eq 0) {
    Write-Host 'Skipping, no items available.'
    exit 0
  }
  Write-Host "Initiating processing of $($foundAbsolutePaths.Count) items from `"$($expandedPath)`"."
)ps";

constexpr std::string_view kSkipFolders = R"ps(
    if (Test-Path -LiteralPath $path -PathType Container) {
      Write-Host "Skipping, the path is not a file but a folder: $($path)."
      $skippedCount++
      continue
    }
)ps";

constexpr std::string_view kKeepFilesAndFullFolders = R"ps(
    if (Test-Path -LiteralPath $path -PathType Leaf) {
      Write-Warning "Retaining file `"$path`" to safeguard your data."
      continue
    }
    try {
      if (@(Get-ChildItem -LiteralPath $path -Force -ErrorAction Stop | Select-Object -First 1).Count -gt 0) {
        Write-Warning "Preserving non-empty folder `"$path`" to protect your files."
        continue
      }
    } catch {
      Write-Warning "An error occurred while processing `"$path`". Skipping to protect your data. Error: $($_.Exception.Message)"
      continue
    }
)ps";

constexpr std::string_view kDeleteOne = R"ps(
    try {
      Remove-Item -LiteralPath $path -Force -Recurse -ErrorAction Stop
      $deletedCount++
      Write-Host "Successfully deleted: $($path)"
    } catch {
      $failedCount++
      Write-Warning "Unable to delete $($path): $_"
    }
  }
)ps";

// A step that could delete nothing of what it found has failed; one that
// deleted some items and met files in use has done what it could.
constexpr std::string_view kDeleteSummary = R"ps(
  Write-Host "Successfully deleted $($deletedCount) items."
  if ($failedCount -gt 0) {
    Write-Warning "Failed to delete $($failedCount) items."
    if ($deletedCount -eq 0) { exit 1 }
  }
)ps";

bool ExpandDeletion(const SourceBlock& block, FileFamily family, std::vector<Step>* steps, std::string* error) {
  std::string_view name = family == FileFamily::kFilePattern ? "pattern" : "directory";
  if (!CheckPath(block, name, error)) return false;
  std::string_view given = Param(block, name);
  std::string pattern(given);
  if (family == FileFamily::kDirectoryContents) {
    pattern = EndsWith(given, "\\*") ? pattern : EndsWith(given, "\\") ? pattern + "*" : pattern + "\\*";
  } else if (family == FileFamily::kDirectory && !EndsWith(given, "\\")) {
    pattern += "\\";
  }
  bool permissions = Flag(block, "with-additional-permissions");
  if (permissions && GrantTarget(pattern).find_first_of("*?") != std::string::npos) {
    return Fail(block, name,
                "with additional permissions the path may end with \\* but holds no other wildcard (takeown and "
                "icacls take none)",
                error);
  }
  std::string quoted = "\"";  // built by appending: see PsAssign
  quoted += given;
  quoted += '"';
  Step step;
  switch (family) {
    case FileFamily::kDirectoryContents:
      step.header = permissions ? "Clear directory contents (with additional permissions): " + quoted
                                : "Clear directory contents  : " + quoted;
      break;
    case FileFamily::kFilePattern: step.header = "Delete files matching pattern: " + quoted; break;
    default:
      step.header =
          permissions ? "Delete directory (with additional permissions): " + quoted : "Delete directory  : " + quoted;
      break;
  }
  bool files = family == FileFamily::kFilePattern;
  std::string loop = "foreach ($path in $foundAbsolutePaths) {\n";
  if (files) loop += kSkipFolders;
  if (family == FileFamily::kDirectory) loop += kKeepFilesAndFullFolders;
  loop += R"ps(
    if (-not (Test-Path -LiteralPath $path)) {
      Write-Host "Successfully deleted: $($path) (already deleted)."
      $deletedCount++
      continue
    }
  )ps";
  loop += kDeleteOne;
  step.script = JoinStatements({
      PsAssign("pathGlobPattern", pattern),
      CatchUnexpected(JoinStatements({
          JoinPowerShell(kSearchStart),
          files ? "$deletedCount = 0; $failedCount = 0; $skippedCount = 0" : "$deletedCount = 0; $failedCount = 0",
          family == FileFamily::kDirectory ? JoinPowerShell(kUserShellFolderGuard) : "",
          permissions ? JoinPowerShell(kGrantFileAccess) : "",
          "$foundAbsolutePaths = @()",
          files ? "" : JoinPowerShell(kCollectRecursively),
          JoinPowerShell(kCollectMatches),
          JoinPowerShell(loop),
          files ? "if ($skippedCount -gt 0) { Write-Host \"Skipped $($skippedCount) items.\" }" : "",
          JoinPowerShell(kDeleteSummary),
      })),
  });
  steps->push_back(std::move(step));
  return true;
}

bool ExpandClearDirectoryContents(const SourceBlock& block, std::vector<Step>* steps, std::string* error) {
  return ExpandDeletion(block, FileFamily::kDirectoryContents, steps, error);
}

bool ExpandDeleteFiles(const SourceBlock& block, std::vector<Step>* steps, std::string* error) {
  return ExpandDeletion(block, FileFamily::kFilePattern, steps, error);
}

bool ExpandDeleteDirectory(const SourceBlock& block, std::vector<Step>* steps, std::string* error) {
  return ExpandDeletion(block, FileFamily::kDirectory, steps, error);
}

// With additional permissions each file gets the Administrators group as
// owner with full control before the rename, and its former access rules back
// after it: under its new name, or under the old one when the rename failed.
constexpr std::string_view kSoftDeleteOne = R"ps(
  foreach ($path in $foundAbsolutePaths) {
    if (Test-Path -LiteralPath $path -PathType Container) {
      Write-Host "Skipping folder (not its contents): `"$path`"."
      $skippedCount++
      continue
    }
    if ($path.EndsWith('.OLD', [System.StringComparison]::OrdinalIgnoreCase)) {
      Write-Host "Skipping backup file: `"$path`"."
      $skippedCount++
      continue
    }
    Write-Host "Processing file: `"$path`"."
    if (-not (Test-Path -LiteralPath $path)) {
      Write-Host "Skipping, file `"$path`" not found."
      $skippedCount++
      continue
    }
    $newPath = $path + '.OLD'
    @@GRANT@@
    $renamed = $false
    try {
      Move-Item -LiteralPath $path -Destination $newPath -Force -ErrorAction Stop
      Write-Host "Successfully processed `"$path`"."
      $renamedCount++
      $renamed = $true
    } catch {
      Write-Error "Failed to rename `"$path`" to `"$newPath`": $($_.Exception.Message)"
      $failedCount++
    }
    @@RESTORE@@
  }
  if (($renamedCount -gt 0) -or ($skippedCount -gt 0)) {
    Write-Host "Successfully processed $renamedCount items and skipped $skippedCount items."
  }
  if ($failedCount -gt 0) {
    Write-Warning "Failed to process $($failedCount) items."
    exit 1
  }
)ps";

constexpr std::string_view kSoftDeleteGrant = R"ps(
    $originalAcl = $null
    try {
      $savedAcl = Get-Acl -LiteralPath $path
      $grantAcl = Get-Acl -LiteralPath $path
      $grantAcl.SetOwner($adminSid)
      $grantAcl.AddAccessRule((New-Object System.Security.AccessControl.FileSystemAccessRule($adminSid, 'FullControl', 'Allow')))
      Set-Acl -LiteralPath $path -AclObject $grantAcl -ErrorAction Stop
      $originalAcl = $savedAcl
    } catch {
      Write-Warning "Failed to grant access to `"$path`": $($_.Exception.Message)"
    }
)ps";

constexpr std::string_view kSoftDeleteRestore = R"ps(
    if ($null -ne $originalAcl) {
      $aclPath = if ($renamed) { $newPath } else { $path }
      try {
        Set-Acl -LiteralPath $aclPath -AclObject $originalAcl -ErrorAction Stop
      } catch {
        Write-Warning "Failed to restore the access rules of `"$aclPath`": $($_.Exception.Message)"
      }
    }
)ps";

bool ExpandSoftDelete(const SourceBlock& block, std::vector<Step>* steps, std::string* error) {
  if (!CheckPath(block, "pattern", error)) return false;
  bool permissions = Flag(block, "with-additional-permissions");
  Step step;
  step.header = "Soft delete files matching pattern: \"" + std::string(Param(block, "pattern")) + "\"" +
                (permissions ? " with additional permissions" : "");
  std::string loop = Splice(std::string(kSoftDeleteOne), "@@GRANT@@", permissions ? kSoftDeleteGrant : "");
  loop = Splice(loop, "@@RESTORE@@", permissions ? kSoftDeleteRestore : "");
  step.script = JoinStatements({
      PsAssign("pathGlobPattern", Param(block, "pattern")),
      CatchUnexpected(JoinStatements({
          JoinPowerShell(kSearchStart),
          "$renamedCount = 0; $skippedCount = 0; $failedCount = 0",
          permissions ? EnablePrivilegesScript() : "",
          permissions ? "$adminSid = New-Object System.Security.Principal.SecurityIdentifier 'S-1-5-32-544'" : "",
          "$foundAbsolutePaths = @()",
          Flag(block, "recursive") ? JoinPowerShell(kCollectRecursively) : "",
          JoinPowerShell(kCollectMatches),
          JoinPowerShell(loop),
      })),
  });
  steps->push_back(std::move(step));
  return true;
}

const std::array<FamilyDef, 4> kFileFamilies = {{
    {"clear-directory-contents", {"directory"}, {"with-additional-permissions"}, ExpandClearDirectoryContents},
    {"delete-files", {"pattern"}, {"with-additional-permissions"}, ExpandDeleteFiles},
    {"delete-directory", {"directory"}, {"with-additional-permissions"}, ExpandDeleteDirectory},
    {"soft-delete", {"pattern"}, {"recursive", "with-additional-permissions"}, ExpandSoftDelete},
}};

}  // namespace

std::span<const FamilyDef> FileFamilies() { return kFileFamilies; }
