// Service and scheduled-task families: disable a service, disable a per-user
// service, stop a service leaving a state file and start it again when the
// state says so, disable scheduled tasks.

#include "tools/generators/script_body/families.h"
#include "tools/generators/script_body/powershell_text.h"

#include <array>

namespace {

// Service names and task paths stand in headers between backticks and in
// file names; they hold none of the characters that would spoil either.
bool CheckName(const SourceBlock& block, std::string_view name, std::string* error) {
  std::string_view value = Param(block, name);
  if (value.empty() || value.find_first_of("`\"'/:<>|") != std::string_view::npos) {
    return Fail(block, name, "a name without ` \" ' / : < > or |", error);
  }
  return true;
}

constexpr std::string_view kDisableService = R"ps(
  Write-Host "Disabling service: `"$serviceName`"."
  $service = Get-Service -Name $serviceName -ErrorAction SilentlyContinue
  if (-not $service) {
    Write-Host "Service `"$serviceName`" could not be not found, no need to disable it."
    exit 0
  }
  if ($service.Status -eq [System.ServiceProcess.ServiceControllerStatus]::Running) {
    Write-Host "`"$serviceName`" is running, stopping it."
    try {
      Stop-Service -Name $serviceName -Force -ErrorAction Stop
      Write-Host "Stopped `"$serviceName`" successfully."
    } catch {
      Write-Warning "Could not stop `"$serviceName`", it will be stopped after reboot: $_"
    }
  } else {
    Write-Host "`"$serviceName`" is not running, no need to stop."
  }
  $startupType = $service.StartType
  if (-not $startupType) {
    $startupType = (Get-WmiObject -Query "Select StartMode From Win32_Service Where Name='$serviceName'" -ErrorAction Ignore).StartMode
    if (-not $startupType) {
      $startupType = (Get-WmiObject -Query "Select StartMode From Win32_Service Where DisplayName='$serviceName'" -ErrorAction Ignore).StartMode
    }
  }
  if ("$startupType" -eq 'Disabled') {
    Write-Host "$serviceName is already disabled, no further action is needed"
    exit 0
  }
  try {
    Set-Service -Name $serviceName -StartupType Disabled -ErrorAction Stop
    Write-Host "Disabled `"$serviceName`" successfully."
  } catch {
    Write-Error "Could not disable `"$serviceName`": $_"
    exit 1
  }
)ps";

bool ExpandDisableService(const SourceBlock& block, std::vector<Step>* steps, std::string* error) {
  if (!CheckName(block, "service", error)) return false;
  Step step;
  step.header = "Disable service(s): `" + std::string(Param(block, "service")) + "`";
  step.script = JoinStatements(
      {PsAssign("serviceName", Param(block, "service")), CatchUnexpected(JoinPowerShell(kDisableService))});
  steps->push_back(std::move(step));
  return true;
}

// A per-user service is a template (its Start value is copied into the
// instance made for each signed-in user) plus instances named after it with
// "_" and a suffix; both get disabled.
constexpr std::string_view kDisablePerUserService = R"ps(
  Write-Host "Disabling service: `"$serviceQuery`"."
  $services = @(Get-Service -Name $serviceQuery -ErrorAction SilentlyContinue)
  if ($services.Count -eq 0) {
    Write-Host "Service query `"$serviceQuery`" did not yield any results, no need to disable it."
    exit 0
  }
  $disableFailed = $false
  foreach ($service in $services) {
    $serviceName = $service.Name
    if ($service.Status -eq [System.ServiceProcess.ServiceControllerStatus]::Running) {
      Write-Host "`"$serviceName`" is running, attempting to stop it."
      if ($service.CanStop) {
        try {
          Write-Host "Stopping the service `"$serviceName`"."
          $service.Stop()
        } catch {
          Write-Warning "Failed to stop service `"$serviceName`". It will be stopped after reboot. Error: $($_.Exception.Message)"
        }
      } else {
        Write-Warning "The service `"$serviceName`" does not accept a stop command and may need to be stopped manually or on reboot."
      }
    } else {
      Write-Host "`"$serviceName`" is not running, no need to stop."
    }
    $registryKey = "HKLM:\SYSTEM\CurrentControlSet\Services\$serviceName"
    if (-not (Test-Path -LiteralPath $registryKey)) {
      Write-Host "`"$registryKey`" is not found in registry, cannot enable it."
      continue
    }
    if ((Get-ItemProperty -LiteralPath $registryKey -Name 'Start' -ErrorAction SilentlyContinue).Start -eq 4) {
      Write-Host "`"$serviceName`" is already disabled from start, no further action is needed."
      continue
    }
    try {
      Set-ItemProperty -LiteralPath $registryKey -Name 'Start' -Value 4 -Type DWord -ErrorAction Stop
      Write-Host 'Successfully disabled the service. It will not start automatically on next boot.'
    } catch {
      Write-Error "Failed to disable the service. Error: $($_.Exception.Message)"
      $disableFailed = $true
    }
  }
  if ($disableFailed) { exit 1 }
)ps";

bool ExpandDisablePerUserService(const SourceBlock& block, std::vector<Step>* steps, std::string* error) {
  if (!CheckName(block, "service", error)) return false;
  std::string service(Param(block, "service"));
  for (const std::string& query : {service, service + "_*"}) {
    Step step;
    if (query == service) step.comments.push_back("Disable per-user \"" + service + "\" service for all users");
    step.header = "Disable the service `" + query + "`";
    step.script =
        JoinStatements({PsAssign("serviceQuery", query), CatchUnexpected(JoinPowerShell(kDisablePerUserService))});
    steps->push_back(std::move(step));
  }
  return true;
}

// The state files of a service live in "Quarnfeld Optimizer\state" under the
// common application data folder (C:\ProgramData), one per stop that still
// awaits its start. Any user can create folders there, so each of the two
// folders is created, when missing, with an owner and access rules of its own
// (Administrators as owner, full control for Administrators and SYSTEM only,
// nothing inherited), and is used only when it is a folder and not a
// junction or symbolic link, is owned by Administrators or SYSTEM, and (the
// state folder) gives access to no one else. Otherwise $stateDirectory stays
// empty and $stateProblem says why. Windows PowerShell creates the folder
// with its rules through Directory.CreateDirectory(path, security), a newer
// PowerShell through FileSystemAclExtensions.
constexpr std::string_view kStateFolder = R"ps(
  $stateFilePrefix = $serviceName
  foreach ($invalidCharacter in [System.IO.Path]::GetInvalidFileNameChars()) { $stateFilePrefix = $stateFilePrefix.Replace([string]$invalidCharacter, '_') }
  $trustedSids = @('S-1-5-32-544', 'S-1-5-18')
  $stateDirectory = $null
  $stateProblem = $null
  $stateParent = Join-Path ([System.Environment]::GetFolderPath('CommonApplicationData')) 'Quarnfeld Optimizer'
  foreach ($folder in @($stateParent, (Join-Path $stateParent 'state'))) {
    if (-not (Test-Path -LiteralPath $folder)) {
      $security = New-Object System.Security.AccessControl.DirectorySecurity
      $security.SetAccessRuleProtection($true, $false)
      $security.SetOwner([System.Security.Principal.SecurityIdentifier]'S-1-5-32-544')
      foreach ($sid in $trustedSids) {
        $security.AddAccessRule((New-Object System.Security.AccessControl.FileSystemAccessRule([System.Security.Principal.SecurityIdentifier]$sid, 'FullControl', 'ContainerInherit, ObjectInherit', 'None', 'Allow')))
      }
      if ([System.IO.Directory].GetMethod('CreateDirectory', [type[]]@([string], [System.Security.AccessControl.DirectorySecurity]))) {
        [System.IO.Directory]::CreateDirectory($folder, $security) | Out-Null
      } else {
        [System.IO.FileSystemAclExtensions]::CreateDirectory($security, $folder) | Out-Null
      }
    }
    $stateItem = Get-Item -LiteralPath $folder -Force
    if ((-not $stateItem.PSIsContainer) -or ($stateItem.Attributes -band [System.IO.FileAttributes]::ReparsePoint)) {
      $stateProblem = "`"$folder`" is a junction, a symbolic link or a file"
      break
    }
    $stateAcl = Get-Acl -LiteralPath $folder
    $stateOwner = $stateAcl.GetOwner([System.Security.Principal.SecurityIdentifier]).Value
    if ($trustedSids -notcontains $stateOwner) {
      $stateProblem = "`"$folder`" is owned by $stateOwner, not by Administrators or SYSTEM"
      break
    }
  }
  if (-not $stateProblem) {
    $strangers = @($stateAcl.GetAccessRules($true, $true, [System.Security.Principal.SecurityIdentifier]) | Where-Object { $trustedSids -notcontains $_.IdentityReference.Value })
    if ((-not $stateAcl.AreAccessRulesProtected) -or ($strangers.Count -gt 0)) {
      $stateProblem = "`"$folder`" gives access to others than Administrators and SYSTEM"
    } else {
      $stateDirectory = $folder
    }
  }
)ps";

constexpr std::string_view kStopService = R"ps(
  Write-Host "Stopping service: `"$serviceName`"."
  $service = Get-Service -Name $serviceName -ErrorAction SilentlyContinue
  if (-not $service) {
    Write-Host "Skipping, service `"$serviceName`" could not be not found, no need to stop it."
    exit 0
  }
  if ($service.Status -ne [System.ServiceProcess.ServiceControllerStatus]::Running) {
    Write-Host "Skipping, `"$serviceName`" is not running, no need to stop."
    exit 0
  }
  try {
    $service | Stop-Service -Force -ErrorAction Stop
    $service.WaitForStatus([System.ServiceProcess.ServiceControllerStatus]::Stopped)
  } catch {
    Write-Error "Failed to stop the service `"$serviceName`": $($_.Exception.Message)"
    exit 1
  }
  Write-Host "Successfully stopped the service: `"$serviceName`"."
  if (-not $stateDirectory) {
    Write-Warning "The state of the service is not recorded, $stateProblem. It stays stopped until it is started or the computer restarts."
    exit 0
  }
  try {
    do {
      $stateFile = Join-Path $stateDirectory "$stateFilePrefix-$([guid]::NewGuid())"
    } while (Test-Path -LiteralPath $stateFile)
    New-Item -ItemType File -Path $stateFile -ErrorAction Stop | Out-Null
    Write-Host 'Service will restart automatically.'
  } catch {
    Write-Warning 'Manual restart required - please restart your computer.'
  }
)ps";

constexpr std::string_view kStartService = R"ps(
  if (-not $stateDirectory) {
    Write-Warning "Not starting `"$serviceName`": whether it ran before cannot be read, $stateProblem."
    exit 1
  }
  $stateFiles = @(Get-ChildItem -LiteralPath $stateDirectory -Filter "$stateFilePrefix-*" -File -ErrorAction SilentlyContinue)
  if ($stateFiles.Count -gt 0) {
    try {
      Remove-Item -LiteralPath $stateFiles[0].FullName -Force -ErrorAction Stop
      Write-Host 'The service is expected to be started.'
    } catch {
      Write-Warning "Failed to delete the state file `"$($stateFiles[0].FullName)`": $($_.Exception.Message)"
    }
  }
  if ($stateFiles.Count -ne 1) {
    Write-Host 'Skipping starting the service: It was not running before.'
    exit 0
  }
  $service = Get-Service -Name $serviceName -ErrorAction SilentlyContinue
  if (-not $service) {
    Write-Error "Failed to start service `"$serviceName`": Service not found."
    exit 1
  }
  if ($service.Status -eq [System.ServiceProcess.ServiceControllerStatus]::Running) {
    Write-Host "Skipping, `"$serviceName`" is already running, no need to start."
    exit 0
  }
  try {
    $service | Start-Service -ErrorAction Stop
    Write-Host "Successfully started the service: `"$serviceName`"."
  } catch {
    Write-Warning "Failed to start the service: `"$serviceName`"."
    exit 1
  }
)ps";

bool ExpandStopService(const SourceBlock& block, std::vector<Step>* steps, std::string* error) {
  if (!CheckName(block, "service", error)) return false;
  Step step;
  step.header = "Stop service: " + std::string(Param(block, "service")) + " (with state file) (wait until stopped)";
  step.script =
      JoinStatements({PsAssign("serviceName", Param(block, "service")),
                      CatchUnexpected(JoinStatements({JoinPowerShell(kStateFolder), JoinPowerShell(kStopService)}))});
  steps->push_back(std::move(step));
  return true;
}

bool ExpandStartService(const SourceBlock& block, std::vector<Step>* steps, std::string* error) {
  if (!CheckName(block, "service", error)) return false;
  Step step;
  step.header = "Start service: " + std::string(Param(block, "service")) + " (if state requires)";
  step.script =
      JoinStatements({PsAssign("serviceName", Param(block, "service")),
                      CatchUnexpected(JoinStatements({JoinPowerShell(kStateFolder), JoinPowerShell(kStartService)}))});
  steps->push_back(std::move(step));
  return true;
}

constexpr std::string_view kDisableTasks = R"ps(
  Write-Host "Disabling tasks matching pattern `"$taskNamePattern`"."
  $tasks = @(Get-ScheduledTask -TaskPath $taskPathPattern -TaskName $taskNamePattern -ErrorAction Ignore)
  if ($tasks.Count -eq 0) {
    Write-Host "Skipping, no tasks matching pattern `"$taskNamePattern`" found, no action needed."
    exit 0
  }
  $disableFailed = $false
  foreach ($task in $tasks) {
    $taskName = $task.TaskName
    if ($task.State -eq 'Disabled') {
      Write-Host "Skipping, task `"$taskName`" is already disabled, no action needed."
      continue
    }
    @@GRANT@@
    try {
      $task | Disable-ScheduledTask -ErrorAction Stop | Out-Null
      Write-Host "Successfully disabled task `"$taskName`"."
    } catch {
      Write-Error "Failed to disable task `"$taskName`": $($_.Exception.Message)"
      $disableFailed = $true
    }
    @@RESTORE@@
  }
  if ($disableFailed) {
    Write-Host 'Failed to disable some tasks. Check error messages above.'
    exit 1
  }
)ps";

// The task's file under System32\Tasks gets the Administrators group as owner
// with full control while the task is disabled; its former rules come back
// afterwards.
constexpr std::string_view kGrantTaskFile = R"ps(
    $taskFile = Join-Path "$env:SystemRoot\System32\Tasks" ($task.TaskPath + $taskName)
    $originalAcl = $null
    try {
      $savedAcl = Get-Acl -LiteralPath $taskFile
      $grantAcl = Get-Acl -LiteralPath $taskFile
      $grantAcl.SetOwner($adminSid)
      $grantAcl.AddAccessRule((New-Object System.Security.AccessControl.FileSystemAccessRule($adminSid, 'FullControl', 'Allow')))
      Set-Acl -LiteralPath $taskFile -AclObject $grantAcl -ErrorAction Stop
      $originalAcl = $savedAcl
      Write-Host "Successfully granted permissions for `"$taskFile`" ."
    } catch {
      Write-Warning "Failed to grant permissions for `"$taskFile`": $($_.Exception.Message)"
    }
)ps";

constexpr std::string_view kRestoreTaskFile = R"ps(
    if ($null -ne $originalAcl) {
      try {
        Set-Acl -LiteralPath $taskFile -AclObject $originalAcl -ErrorAction Stop
        Write-Host "Successfully restored permissions for `"$taskFile`" ."
      } catch {
        Write-Warning "Failed to restore permissions for `"$taskFile`": $($_.Exception.Message)"
      }
    }
)ps";

bool ExpandDisableScheduledTask(const SourceBlock& block, std::vector<Step>* steps, std::string* error) {
  std::string_view folder = Param(block, "folder");
  if (folder.empty() || folder.front() != '\\' || folder.back() != '\\' ||
      folder.find_first_of("`\"'") != std::string_view::npos) {
    return Fail(block, "folder", "a task folder begins and ends with a backslash, e.g. \\Microsoft\\Windows\\Maps\\",
                error);
  }
  std::string_view task = Param(block, "task");
  if (task.empty() || task.find_first_of("`\"'\\") != std::string_view::npos) {
    return Fail(block, "task", "a task name pattern without ` \" ' or \\", error);
  }
  bool permissions = Flag(block, "with-additional-permissions");
  Step step;
  step.header = "Disable scheduled task(s): `" + std::string(folder) + std::string(task) + "`";
  std::string body = Splice(std::string(kDisableTasks), "@@GRANT@@", permissions ? kGrantTaskFile : "");
  body = Splice(body, "@@RESTORE@@", permissions ? kRestoreTaskFile : "");
  step.script = JoinStatements({
      PsAssign("taskPathPattern", folder),
      PsAssign("taskNamePattern", task),
      CatchUnexpected(JoinStatements({
          permissions ? EnablePrivilegesScript() : "",
          permissions ? "$adminSid = New-Object System.Security.Principal.SecurityIdentifier 'S-1-5-32-544'" : "",
          JoinPowerShell(body),
      })),
  });
  steps->push_back(std::move(step));
  return true;
}

const std::array<FamilyDef, 5> kServiceFamilies = {{
    {"disable-service", {"service"}, {}, ExpandDisableService},
    {"disable-per-user-service", {"service"}, {}, ExpandDisablePerUserService},
    {"stop-service", {"service"}, {}, ExpandStopService},
    {"start-service", {"service"}, {}, ExpandStartService},
    {"disable-scheduled-task", {"folder", "task"}, {"with-additional-permissions"}, ExpandDisableScheduledTask},
}};

}  // namespace

std::span<const FamilyDef> ServiceFamilies() { return kServiceFamilies; }
