#include "tools/generators/script_body/version_guard.h"

#include "tools/generators/script_body/powershell_text.h"

std::span<const VersionEntry> VersionTable(GuardKind kind) {
  if (kind == GuardKind::kMinimum) return kMinimumVersions;
  return kMaximumVersions;
}

bool IsKnownVersion(GuardKind kind, std::string_view name) {
  for (const VersionEntry& entry : VersionTable(kind)) {
    if (entry.name == name) return true;
  }
  return false;
}

std::string VersionGuardScript(GuardKind kind, std::string_view name) {
  bool minimum = kind == GuardKind::kMinimum;
  std::string limit = minimum ? "$minVersion" : "$maxVersion";
  std::string clauses;
  for (const VersionEntry& entry : VersionTable(kind)) {
    clauses += PsQuote(entry.name) + " { " + PsQuote(entry.build) + " }; ";
  }
  std::string script = PsAssign("versionName", name) + "; " + limit + " = switch ($versionName) { " + clauses +
                       "default { throw \"Internal error: unknown " + (minimum ? "minimum" : "maximum") +
                       " Windows version name '$versionName'.\" } }; ";
  script +=
      "$osVersion = [System.Environment]::OSVersion.Version; "
      "$verNoPatch = [version]::new($osVersion.Major, $osVersion.Minor, $osVersion.Build); ";
  if (minimum) {
    script +=
        "if ($verNoPatch -lt [version]$minVersion) { Write-Host \"Skipping: Windows ($verNoPatch) is below minimum "
        "$minVersion ($versionName)\"; exit 0 }";
  } else {
    script +=
        "if ($verNoPatch -gt [version]$maxVersion) { Write-Host \"Skipping: Windows ($verNoPatch) is above maximum "
        "$maxVersion ($versionName)\"; exit 0 }";
  }
  return script;
}

std::string VersionNote(GuardKind kind, std::string_view name) {
  return std::string("This operation will not run on Windows versions ") +
         (kind == GuardKind::kMinimum ? "earlier than " : "later than ") + std::string(name) + ".";
}
