#pragma once
// Where every command enters, through one table of command words: "ready" is
// answered with "init", "optimize" starts the run on its own thread (or is
// refused with a warning), "cancel" raises the cancel flag, anything else is
// warned about.

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

// UI thread, once per page message, in arrival order. Never throws.
void HandlePageMessage(std::string_view text);

// The two actions behind the commands, replaceable for tests. startRun starts
// the run of `ids` on a new detached thread and may throw like std::thread.
struct PageCommandActions {
  std::function<std::string()> buildInit;
  std::function<void(std::vector<int32_t> ids)> startRun;
};
PageCommandActions SystemPageCommandActions();
void HandlePageMessageWith(std::string_view text, const PageCommandActions& actions);
