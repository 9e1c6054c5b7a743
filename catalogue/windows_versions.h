#pragma once
// The Windows version names a step's guard may give, with the build each
// stands for. The body generator writes them into every guarded step, and the
// state check compares the running Windows against the same table, so the two
// never disagree on which steps run here.

#include <array>
#include <string_view>

enum class GuardKind { kMinimum, kMaximum };

struct VersionEntry {
  std::string_view name;   // e.g. "Windows10-22H2"
  std::string_view build;  // major.minor.build, e.g. "10.0.19045"
};

inline constexpr std::array<VersionEntry, 8> kMinimumVersions = {{
    {"Windows11-FirstRelease", "10.0.22000"},
    {"Windows11-22H2", "10.0.22621"},
    {"Windows11-21H2", "10.0.22000"},
    {"Windows10-22H2", "10.0.19045"},
    {"Windows10-21H2", "10.0.19044"},
    {"Windows10-20H2", "10.0.19042"},
    {"Windows10-1909", "10.0.18363"},
    {"Windows10-1607", "10.0.14393"},
}};

inline constexpr std::array<VersionEntry, 5> kMaximumVersions = {{
    {"Windows11-21H2", "10.0.22000"},
    {"Windows10-MostRecent", "10.0.19045"},
    {"Windows10-22H2", "10.0.19045"},
    {"Windows10-1909", "10.0.18363"},
    {"Windows10-1903", "10.0.18362"},
}};
