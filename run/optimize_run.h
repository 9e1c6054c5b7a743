#pragma once
// The body of the run thread: runs the selected tweaks one after another and
// tells the page about every step with "log" and "progress", ending with
// exactly one "done".

#include <cstdint>
#include <functional>
#include <vector>

#include "catalogue/catalogue.h"

// Runs `ids` (positions in the tweak index, in the page's order; repeats run
// again) through RunBatchScript. Raises g_running, clears g_cancelRequested,
// tests the cancel flag before each id, counts an unknown id or a failed or
// throwing script as an error, posts "done" and only then clears g_running.
// With `skipApplied`, a tweak found fully in place just before its turn is
// not run and counts as succeeded.
void OptimizeRun(std::vector<int32_t> ids, bool skipApplied = false);

// The same with another script runner and state check, for tests. An empty
// `isApplied` checks nothing.
using ScriptRunner = std::function<bool(const char* script)>;
using AppliedCheck = std::function<bool(const Tweak& tweak)>;
void OptimizeRunWith(std::vector<int32_t> ids, const ScriptRunner& runScript, const AppliedCheck& isApplied = {});
