#pragma once
// The environment a batch gets: built here from the machine's folders and
// facts, never inherited. An unelevated process of the user can set anything
// in this program's own environment (HKCU\Environment), so PATH, ComSpec,
// TEMP and the rest are written from sources only administrators can change.

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/system_folders.h"

struct BatchEnvironmentFacts {
  platform::SystemFolders folders;
  std::u16string userName;
  std::u16string computerName;
  // PROCESSOR_* and NUMBER_OF_PROCESSORS as the machine's environment key
  // holds them; a missing one is left out.
  std::vector<std::pair<std::u16string, std::u16string>> processor;
};
BatchEnvironmentFacts SystemEnvironmentFacts();

// True when the folders no batch can do without are known: the Windows and
// system folders, ProgramData and the user's profile.
bool EnvironmentFactsComplete(const BatchEnvironmentFacts& facts);

// The user's default per-user folders, at their place in the profile.
std::u16string RoamingAppData(const BatchEnvironmentFacts& facts);
std::u16string LocalAppData(const BatchEnvironmentFacts& facts);

// %LOCALAPPDATA%\Temp of the profile when it and every folder between it and
// the profile is a plain directory (no junction, no symbolic link); empty
// otherwise. `kindOf` looks at a path without following links.
using EntryKindOf = std::function<platform::EntryKind(const std::u16string&)>;
std::u16string CheckedProfileTemp(const BatchEnvironmentFacts& facts, const EntryKindOf& kindOf);

// True when every folder on the way to `path` below its drive ("C:\") is a
// plain directory and `path` itself a plain file.
bool PathHoldsNoLink(const std::u16string& path, const EntryKindOf& kindOf);

// The block for platform::ProcessStart::environment: "NAME=value" entries
// sorted by name without regard to case, each ended by a NUL. PATH is the
// system folder, the Windows folder, Wbem and Windows PowerShell's folder;
// TEMP and TMP are `temp`; a variable whose value is unknown is left out.
std::u16string BuildEnvironmentBlock(const BatchEnvironmentFacts& facts, const std::u16string& temp);
