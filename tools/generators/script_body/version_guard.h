#pragma once
// The version guard: a prefix of a step that lets the step proper run only on
// Windows versions within a named minimum or maximum.

#include <span>
#include <string>
#include <string_view>

#include "catalogue/windows_versions.h"

// Every version name of a kind with the build it stands for. Each guarded
// step carries the whole table of its kind.
std::span<const VersionEntry> VersionTable(GuardKind kind);

bool IsKnownVersion(GuardKind kind, std::string_view name);

// The guard's PowerShell statements (one line) for the named version: the
// version name as a parameter, a switch over the whole table whose default
// raises an internal error naming the version, and the comparison with the
// running system's major.minor.build, which prints the skip message and exits
// with 0 when out of range.
std::string VersionGuardScript(GuardKind kind, std::string_view name);

// The comment text (without ":: ") placed after the step header:
// "This operation will not run on Windows versions earlier than NAME." or
// "... later than NAME.".
std::string VersionNote(GuardKind kind, std::string_view name);
