#pragma once
// The body of the run thread: runs the selected tweaks one after another and
// tells the page about every step with "log" and "progress", ending with
// exactly one "done".

#include <cstdint>
#include <functional>
#include <vector>

#include "catalogue/catalogue.h"
#include "run/batch_output.h"

// Runs `ids` (positions in the tweak index, in the page's order; repeats run
// again) through RunBatchScript. Raises g_running, tests the cancel flag
// before each id (the dispatcher clears it when it accepts the run, so a
// cancel sent before the thread got here still counts), counts an unknown id
// or a failed or throwing script as an error, follows each "[FAIL]" line with
// its reasons (run/batch_output.h), keeps each tweak's output for
// LastRunOutput, posts "done" and only then clears g_running. With
// `skipApplied`, a tweak found fully in place just before its turn is not run
// and counts as succeeded.
void OptimizeRun(std::vector<int32_t> ids, bool skipApplied = false);

// The same with another script runner and state check, for tests. An empty
// `isApplied` checks nothing.
using ScriptRunner = std::function<BatchResult(const char* script)>;
using AppliedCheck = std::function<bool(const Tweak& tweak)>;
void OptimizeRunWith(std::vector<int32_t> ids, const ScriptRunner& runScript, const AppliedCheck& isApplied = {});
