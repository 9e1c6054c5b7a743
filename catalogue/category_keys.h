#pragma once
// The sixteen category keys; a key's position is its category index. Shared by
// the catalogue and the generator that writes the tweak table.

#include <cstddef>

inline constexpr size_t kCategoryCount = 16;
inline constexpr const char* kCategoryKeys[kCategoryCount] = {
    "cleanup",  "telemetry", "browsers", "security", "network",  "explorer", "updates",  "power",
    "defender", "services",  "input",    "remote",   "accounts", "notify",   "hardware", "misc",
};
