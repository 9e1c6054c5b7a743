#pragma once
// The body of the run thread: runs the selected tweaks one after another and
// tells the page about every step with "log" and "progress", ending with
// exactly one "done". Each tweak's state before it runs is written to the
// journal first, and its outcome and state after it when it has ended.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "run/batch_output.h"
#include "run/restore_point.h"
#include "state/state_check.h"

struct RunOptions {
  bool skipApplied = false;   // pass by a tweak found fully in place just before its turn
  bool restorePoint = false;  // make a restore point first, and run nothing without one
};

// Runs `ids` (positions in the tweak index, in the page's order; repeats run
// again) through RunBatchScript. Raises g_running, tests the cancel flag
// before each id (the dispatcher clears it when it accepts the run, so a
// cancel sent before the thread got here still counts), counts an unknown id
// or a failed or throwing script as an error, follows each "[FAIL]" line with
// its reasons (run/batch_output.h), keeps each tweak's output for
// LastRunOutput, posts "done" and only then clears g_running.
void OptimizeRun(std::vector<int32_t> ids, RunOptions options = {});

using ScriptRunner = std::function<BatchResult(const char* script)>;
using AppliedCheck = std::function<bool(const Tweak& tweak)>;

// The check OptimizeRun makes with "skipApplied": the state check on this
// machine, read just now.
bool AppliedOnThisMachine(const Tweak& tweak);

// What the run works through; tests give their own. An empty `isApplied`
// checks nothing; without `journalFolder` the run keeps no journal (an empty
// folder is one that could not be had, which the log says); without
// `restorePoints` no restore point is made.
struct RunSeams {
  ScriptRunner runScript;
  AppliedCheck isApplied;
  std::optional<std::u16string> journalFolder;
  std::function<Machine()> machine;
  const RestorePointSystem* restorePoints = nullptr;
};
void OptimizeRunWith(std::vector<int32_t> ids, const RunSeams& seams);
void OptimizeRunWith(std::vector<int32_t> ids, const ScriptRunner& runScript, const AppliedCheck& isApplied = {});
