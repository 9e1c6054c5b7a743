// Registry families: set a value, delete a value, remove a key, create a key
// (and mark a Store app deprovisioned), clear the values of a key.

#include "tools/generators/script_body/families.h"
#include "tools/generators/script_body/powershell_text.h"

#include <array>
#include <cctype>
#include <cstdint>

namespace {

// The provider path of $keyName ("HKCU\Software" becomes "HKCU:\Software").
constexpr std::string_view kProviderPath = R"ps(
  $hive = $keyName.Split('\')[0]
  $path = $hive + ':' + $keyName.Substring($hive.Length)
)ps";

// $baseKey: the .NET key of the hive, for writes that the registry provider
// would take as wildcard patterns.
constexpr std::string_view kBaseKey = R"ps(
  $baseKey = switch ($hive) {
    'HKCU' { [Microsoft.Win32.Registry]::CurrentUser }
    'HKLM' { [Microsoft.Win32.Registry]::LocalMachine }
    default {
      Write-Error "Internal error: Unknown registry hive ($hive)."
      exit 1
    }
  }
  $subKeyPath = $keyName.Substring($hive.Length + 1)
)ps";

bool IsWholeNumber(std::string_view data, uint64_t limit) {
  bool hex = data.size() > 2 && data[0] == '0' && (data[1] == 'x' || data[1] == 'X');
  std::string_view digits = hex ? data.substr(2) : data;
  if (digits.empty() || digits.size() > 20) return false;
  uint64_t value = 0;
  for (char c : digits) {
    unsigned digit;
    if (std::isdigit(static_cast<unsigned char>(c))) {
      digit = static_cast<unsigned>(c - '0');
    } else if (hex && std::isxdigit(static_cast<unsigned char>(c))) {
      digit = static_cast<unsigned>(std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
    } else {
      return false;
    }
    uint64_t base = hex ? 16 : 10;
    if (value > (limit - digit) / base) return false;
    value = value * base + digit;
  }
  return true;
}

// Text that reg.exe must receive as one argument through PowerShell's native
// argument passing, which neither escapes a double quote nor a backslash
// before the closing quote it adds, and drops an empty argument.
bool CheckRegArgument(const SourceBlock& block, std::string_view name, std::string* error) {
  std::string_view value = Param(block, name);
  if (value.empty()) return Fail(block, name, "reg.exe cannot be given an empty text here", error);
  if (value.find('"') != std::string_view::npos) {
    return Fail(block, name, "reg.exe cannot be given a double quote here", error);
  }
  if (value.back() == '\\') return Fail(block, name, "reg.exe cannot be given a trailing backslash here", error);
  return true;
}

}  // namespace

Step SetRegistryValueStep(std::string_view key, std::string_view value, std::string_view type, std::string_view data) {
  std::string value_switch = value == "(default)" ? "/ve" : "/v " + PsQuote(value);
  bool expand = data.find('%') != std::string_view::npos;
  Step step;
  step.header = "Set the registry value: \"" + std::string(key) + "\" value \"" + std::string(value) + "\"";
  step.script = JoinStatements({
      PsAssign("registryPath", key),
      PsAssign("data", data),
      expand ? "$data = [System.Environment]::ExpandEnvironmentVariables($data)" : "",
      "reg add $registryPath " + value_switch + " /t " + PsQuote(type) + " /d \"$data\" /f",
      "if ($LASTEXITCODE -ne 0) { exit 1 }",
  });
  return step;
}

namespace {

bool ExpandSetRegistryValue(const SourceBlock& block, std::vector<Step>* steps, std::string* error) {
  if (!CheckRegistryKey(block, "key", true, error) || !CheckRegArgument(block, "value", error)) return false;
  std::string_view type = Param(block, "type");
  std::string_view data = Param(block, "data");
  if (type == "REG_DWORD" || type == "REG_QWORD") {
    if (!IsWholeNumber(data, type == "REG_DWORD" ? UINT32_MAX : UINT64_MAX)) {
      return Fail(block, "data", std::string(type) + " data is a whole number (decimal or 0x hexadecimal) in range",
                  error);
    }
  } else if (type == "REG_SZ") {
    if (!CheckRegArgument(block, "data", error)) return false;
  } else {
    return Fail(block, "type", "type is REG_DWORD, REG_QWORD or REG_SZ", error);
  }
  steps->push_back(SetRegistryValueStep(Param(block, "key"), Param(block, "value"), type, data));
  return true;
}

constexpr std::string_view kDeleteValueLookup = R"ps(
  Write-Host "Removing the registry value '$valueName' from '$path'."
  if (-not (Test-Path -LiteralPath $path)) {
    Write-Host 'Skipping, no action needed, registry key does not exist.'
    exit 0
  }
  $isDefaultValue = $valueName -eq '(default)'
  $storedName = if ($isDefaultValue) { '' } else { $valueName }
  $key = Get-Item -LiteralPath $path
  if (-not ($key.GetValueNames() -contains $storedName)) {
    Write-Host 'Skipping, no action needed, registry value does not exist.'
    exit 0
  }
)ps";

constexpr std::string_view kDeleteValueExpectedData = R"ps(
  $currentData = "$($key.GetValue($storedName))"
  if ($currentData -ne $expectedData) {
    Write-Host "Skipping, no action needed, current data '$currentData' is not same as '$expectedData'."
    exit 0
  }
)ps";

// Widens the key's access for the Administrators group and remembers what it
// changed, so that the restore below can undo exactly that.
constexpr std::string_view kGrantKeyAccess = R"ps(
  $RawRegistryPath = $keyName
  $adminSid = New-Object System.Security.Principal.SecurityIdentifier 'S-1-5-32-544'
  $originalOwner = $null
  $addedRules = @()
  $removedRules = @()
  $inheritanceLifted = $false
  $accessChanged = $false
  Write-Host "Granting permissions to '$RawRegistryPath' registry key."
  try {
    $ownerKey = $baseKey.OpenSubKey($subKeyPath, [Microsoft.Win32.RegistryKeyPermissionCheck]::ReadWriteSubTree, [System.Security.AccessControl.RegistryRights]'TakeOwnership, ReadPermissions')
    $ownerAcl = $ownerKey.GetAccessControl([System.Security.AccessControl.AccessControlSections]::Owner)
    $owner = $ownerAcl.GetOwner([System.Security.Principal.SecurityIdentifier])
    if ($owner -ne $adminSid) {
      $ownerAcl.SetOwner($adminSid)
      $ownerKey.SetAccessControl($ownerAcl)
      $originalOwner = $owner
      Write-Host "Successfully took ownership from '$($owner.Value)'."
    }
    $ownerKey.Close()
  } catch {
    Write-Warning "Failed to take ownership. Error: $($_.Exception.Message)"
  }
  try {
    $aclKey = $baseKey.OpenSubKey($subKeyPath, [Microsoft.Win32.RegistryKeyPermissionCheck]::ReadWriteSubTree, [System.Security.AccessControl.RegistryRights]'ChangePermissions, ReadPermissions')
    $acl = $aclKey.GetAccessControl()
    $fullControl = [System.Security.AccessControl.RegistryRights]::FullControl
    $adminFullControl = @($acl.GetAccessRules($true, $true, [System.Security.Principal.SecurityIdentifier]) | Where-Object { ($_.IdentityReference -eq $adminSid) -and ($_.AccessControlType -eq 'Allow') -and (($_.RegistryRights -band $fullControl) -eq $fullControl) })
    if ($adminFullControl.Count -eq 0) {
      Write-Host 'Granting full control to administrators.'
      $rule = New-Object System.Security.AccessControl.RegistryAccessRule($adminSid, $fullControl, 'ContainerInherit', 'None', 'Allow')
      $acl.AddAccessRule($rule)
      $addedRules += $rule
      $accessChanged = $true
    }
    if ($acl.AreAccessRulesProtected) {
      $acl.SetAccessRuleProtection($false, $true)
      $inheritanceLifted = $true
      $accessChanged = $true
    }
    foreach ($denyRule in @($acl.GetAccessRules($true, $false, [System.Security.Principal.SecurityIdentifier]) | Where-Object { $_.AccessControlType -eq 'Deny' })) {
      Write-Host "Removing a deny rule for '$($denyRule.IdentityReference)'."
      $acl.RemoveAccessRuleSpecific($denyRule)
      $removedRules += $denyRule
      $accessChanged = $true
    }
    if ($accessChanged) {
      $aclKey.SetAccessControl($acl)
      Write-Host 'Successfully applied new access rules.'
    } else {
      Write-Host 'No access modifications were necessary.'
    }
    $aclKey.Close()
  } catch {
    Write-Warning "Failed to modify access. Error: $($_.Exception.Message)"
  }
)ps";

constexpr std::string_view kDeleteValue = R"ps(
  $removeFailed = $false
  try {
    if ($isDefaultValue) { Write-Host 'Removing the default value.' }
    $writableKey = $baseKey.OpenSubKey($subKeyPath, $true)
    $writableKey.DeleteValue($storedName)
    $writableKey.Close()
    Write-Host 'Successfully removed the registry value.'
  } catch {
    Write-Error "Failed to remove the registry value: $($_.Exception.Message)"
    $removeFailed = $true
  }
)ps";

constexpr std::string_view kRestoreKeyAccess = R"ps(
  Write-Host "Restoring permissions: '$RawRegistryPath'."
  if (($null -eq $originalOwner) -and (-not $accessChanged)) {
    Write-Host 'Skipping revoking permissions, they were not granted.'
  } else {
    try {
      $restoreKey = $baseKey.OpenSubKey($subKeyPath, [Microsoft.Win32.RegistryKeyPermissionCheck]::ReadWriteSubTree, [System.Security.AccessControl.RegistryRights]'TakeOwnership, ChangePermissions, ReadPermissions')
      if ($null -ne $originalOwner) {
        Write-Host 'Restoring owner.'
        $ownerAcl = $restoreKey.GetAccessControl([System.Security.AccessControl.AccessControlSections]::Owner)
        $ownerAcl.SetOwner($originalOwner)
        $restoreKey.SetAccessControl($ownerAcl)
      }
      if ($accessChanged) {
        $acl = $restoreKey.GetAccessControl()
        foreach ($rule in $addedRules) {
          Write-Host "Removing rule for '$($rule.IdentityReference)'."
          $acl.RemoveAccessRuleSpecific($rule)
        }
        foreach ($rule in $removedRules) {
          Write-Host "Adding a rule for '$($rule.IdentityReference)'."
          $acl.AddAccessRule($rule)
        }
        if ($inheritanceLifted) {
          Write-Host 'Restoring inheritance.'
          $acl.SetAccessRuleProtection($true, $false)
        }
        $restoreKey.SetAccessControl($acl)
      }
      $restoreKey.Close()
      Write-Host 'Successfully restored permissions.'
    } catch {
      Write-Warning "Failed to restore permissions. Error: $($_.Exception.Message)"
    }
  }
)ps";

bool ExpandDeleteRegistryValue(const SourceBlock& block, std::vector<Step>* steps, std::string* error) {
  if (!CheckRegistryKey(block, "key", false, error)) return false;
  if (Param(block, "value").empty()) return Fail(block, "value", "a value name is needed", error);
  bool permissions = Flag(block, "with-additional-permissions");
  bool expected = !Param(block, "expected-data").empty();
  Step step;
  step.header = "Delete the registry value \"" + std::string(Param(block, "value")) + "\" from the key \"" +
                std::string(Param(block, "key")) + "\"" + (permissions ? " (with additional permissions)" : " ");
  step.script = JoinStatements({
      PsAssign("keyName", Param(block, "key")),
      PsAssign("valueName", Param(block, "value")),
      expected ? PsAssign("expectedData", Param(block, "expected-data")) : "",
      CatchUnexpected(JoinStatements({
          JoinPowerShell(kProviderPath),
          JoinPowerShell(kDeleteValueLookup),
          expected ? JoinPowerShell(kDeleteValueExpectedData) : "",
          JoinPowerShell(kBaseKey),
          permissions ? EnablePrivilegesScript() : "",
          permissions ? JoinPowerShell(kGrantKeyAccess) : "",
          JoinPowerShell(kDeleteValue),
          permissions ? JoinPowerShell(kRestoreKeyAccess) : "",
          "if ($removeFailed) { exit 1 }",
      })),
  });
  steps->push_back(std::move(step));
  return true;
}

constexpr std::string_view kRemoveKey = R"ps(
  Write-Host "Removing registry key at `"$path`"."
  if (-not (Test-Path -LiteralPath $path)) {
    Write-Host "Skipping, no action needed, registry key `"$path`" does not exist."
    exit 0
  }
  try {
    Remove-Item -LiteralPath $path -Recurse -Force -ErrorAction Stop
    Write-Host "Successfully removed the registry key at path `"$path`"."
  } catch {
    Write-Error "Failed to remove the registry key at path `"$path`": $($_.Exception.Message)"
    exit 1
  }
)ps";

bool ExpandRemoveRegistryKey(const SourceBlock& block, std::vector<Step>* steps, std::string* error) {
  if (!CheckRegistryKey(block, "key", false, error)) return false;
  Step step;
  step.header = "Remove the registry key \"" + std::string(Param(block, "key")) + "\" ";
  step.script =
      JoinStatements({PsAssign("keyName", Param(block, "key")),
                      CatchUnexpected(JoinStatements({JoinPowerShell(kProviderPath), JoinPowerShell(kRemoveKey)}))});
  steps->push_back(std::move(step));
  return true;
}

constexpr std::string_view kCreateKey = R"ps(
  if (Test-Path -LiteralPath $path) {
    Write-Host "Skipping, no action needed, registry path `"$path`" already exists."
    exit 0
  }
  try {
    New-Item -Path $path -Force -ErrorAction Stop | Out-Null
    Write-Host "Successfully created the registry key at path `"$path`"."
  } catch {
    Write-Error "Failed to create the registry key at path `"$path`": $($_.Exception.Message)"
    exit 1
  }
)ps";

Step CreateKeyStep(std::string_view key) {
  Step step;
  step.header = "Create \"" + std::string(key) + "\" registry key";
  step.script =
      JoinStatements({PsAssign("keyName", key),
                      CatchUnexpected(JoinStatements({JoinPowerShell(kProviderPath), JoinPowerShell(kCreateKey)}))});
  return step;
}

bool ExpandCreateRegistryKey(const SourceBlock& block, std::vector<Step>* steps, std::string* error) {
  if (!CheckRegistryKey(block, "key", false, error)) return false;
  steps->push_back(CreateKeyStep(Param(block, "key")));
  return true;
}

// A package family name is the package name, "_" and the publisher id.
bool ExpandDeprovisionStoreApp(const SourceBlock& block, std::vector<Step>* steps, std::string* error) {
  std::string_view family = Param(block, "package-family");
  size_t underscore = family.rfind('_');
  if (underscore == std::string_view::npos || underscore == 0 || underscore + 1 == family.size() ||
      family.find_first_of("\\\"' ") != std::string_view::npos) {
    return Fail(block, "package-family", "a package family name is NAME_PUBLISHERID", error);
  }
  Step step =
      CreateKeyStep("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Appx\\AppxAllUserStore\\Deprovisioned\\" +
                    std::string(family));
  step.comments.push_back("Mark '" + std::string(family.substr(0, underscore)) +
                          "' as deprovisioned to block reinstall during Windows updates.");
  steps->push_back(std::move(step));
  return true;
}

constexpr std::string_view kClearValuesHead = R"ps(
  function Clear-RegistryValues($keyName) {
    Write-Host "Clearing registry values from `"$keyName`"."
    $hive = $keyName.Split('\')[0]
    $path = $hive + ':' + $keyName.Substring($hive.Length)
    if (-not (Test-Path -LiteralPath $path)) {
      Write-Host "Skipping: Registry key not found: `"$path`"."
      return
    }
    try {
      $baseKey = switch ($hive) {
        'HKCU' { [Microsoft.Win32.Registry]::CurrentUser }
        'HKLM' { [Microsoft.Win32.Registry]::LocalMachine }
        default { throw "Internal error: Unknown registry hive ($hive)." }
      }
      $key = $baseKey.OpenSubKey($keyName.Substring($hive.Length + 1), $true)
      $valueNames = @($key.GetValueNames())
      if ($valueNames.Count -eq 0) {
        Write-Host 'Skipping: Registry key has no direct values.'
      } else {
        foreach ($valueName in $valueNames) {
          $key.DeleteValue($valueName)
          Write-Host "Successfully deleted value: `"$valueName`" from `"$path`"."
        }
        Write-Host "Successfully cleared all direct values in `"$path`"."
      }
)ps";

constexpr std::string_view kClearValuesRecursion = R"ps(
      Write-Host "Iterating subkeys recursively: `"$path`"."
      $subKeyNames = @($key.GetSubKeyNames())
      $key.Close()
      if ($subKeyNames.Count -eq 0) {
        Write-Host 'Skipping: no subkeys available.'
        return
      }
      foreach ($subKeyName in $subKeyNames) {
        Write-Host "Processing subkey: `"$subKeyName`""
        Clear-RegistryValues "$keyName\$subKeyName"
      }
      Write-Host "Successfully cleared all subkeys in `"$path`"."
)ps";

constexpr std::string_view kClearValuesTail = R"ps(
    } catch {
      Write-Error "Failed to clear registry values in `"$path`". Error: $_"
      exit 1
    }
  }
  Clear-RegistryValues $rootKeyName
)ps";

bool ExpandClearRegistryValues(const SourceBlock& block, std::vector<Step>* steps, std::string* error) {
  if (!CheckRegistryKey(block, "key", false, error)) return false;
  bool recursive = Flag(block, "recursive");
  Step step;
  step.header =
      "Clear registry values from \"" + std::string(Param(block, "key")) + "\"" + (recursive ? " (recursively)" : " ");
  std::string body(kClearValuesHead);
  body += recursive ? std::string(kClearValuesRecursion) : "$key.Close()\n";
  body += kClearValuesTail;
  step.script = JoinStatements({PsAssign("rootKeyName", Param(block, "key")), CatchUnexpected(JoinPowerShell(body))});
  steps->push_back(std::move(step));
  return true;
}

const std::array<FamilyDef, 6> kRegistryFamilies = {{
    {"set-registry-value", {"key", "value", "type", "data"}, {}, ExpandSetRegistryValue},
    {"delete-registry-value",
     {"key", "value"},
     {"expected-data", "with-additional-permissions"},
     ExpandDeleteRegistryValue},
    {"remove-registry-key", {"key"}, {}, ExpandRemoveRegistryKey},
    {"create-registry-key", {"key"}, {}, ExpandCreateRegistryKey},
    {"deprovision-store-app", {"package-family"}, {}, ExpandDeprovisionStoreApp},
    {"clear-registry-values", {"key"}, {"recursive"}, ExpandClearRegistryValues},
}};

}  // namespace

std::span<const FamilyDef> RegistryFamilies() { return kRegistryFamilies; }
