#pragma once
// Where every command enters, through one table of command words: "ready" is
// answered with "init", "optimize" starts the run on its own thread (or is
// refused with a warning), "cancel" raises the cancel flag, "details",
// "script" and "state" describe the tweaks; anything else is warned about.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// UI thread, once per page message, in arrival order. Never throws.
void HandlePageMessage(std::string_view text);

// The actions behind the commands, replaceable for tests. startRun starts the
// run of `ids` on a new detached thread; startWork runs a job (a state check)
// off the UI thread. Both may throw like std::thread when no thread starts.
struct PageCommandActions {
  std::function<std::string()> buildInit;
  std::function<void(std::vector<int32_t> ids, bool skipApplied)> startRun;
  std::function<void(std::function<void()> job)> startWork;
};
PageCommandActions SystemPageCommandActions();
void HandlePageMessageWith(std::string_view text, const PageCommandActions& actions);
