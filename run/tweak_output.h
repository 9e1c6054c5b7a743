#pragma once
// The output of every tweak of the last run, kept in memory for the page's
// details panel and fetched by tweak id. A new run starts with none kept; a
// tweak that runs twice in one run keeps its later output. Any thread.

#include <cstdint>
#include <optional>
#include <string>

void ClearLastRunOutput();
void KeepTweakOutput(int32_t id, std::string text);

// The text of tweak `id` in the last (or the current) run; nothing when the
// tweak did not run in it.
std::optional<std::string> LastRunOutput(int32_t id);
