#pragma once
// What the command line prints of a run or an undo. The run reports to the
// page through the outbox ("log", "progress", "done", "restore-point",
// "undo-conflicts"); the command line drains the same outbox and turns those
// messages into one result line per tweak, its failure reasons under it and a
// summary, or with --json into one JSON object per line. There is no second
// run loop.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/tweak_index.h"

struct CliOutput {
  std::function<void(std::string_view line)> out;     // one line of standard output
  std::function<void(std::string_view line)> notice;  // one line for a person, on standard error
  bool progress = false;                              // standard error is a console: show each step
  bool json = false;
};

struct RunReport {
  const TweakIndex* index = nullptr;  // names the keys of the tweaks in the messages
  // The tweak whose lines are being read: its result line waits for the
  // "progress" that ends it, so that its reasons go under it.
  std::string name;
  std::string result;  // "ok", "skipped", "failed"; empty: none yet
  std::vector<std::string> reasons;
  int32_t ok = 0;
  int32_t skipped = 0;
  int32_t failed = 0;
  int32_t total = 0;
  bool done = false;            // the run's "done" arrived
  bool cancelled = false;       // it stopped before its last tweak
  bool conflicts = false;       // undo found changes since the run and did nothing
  bool noRestorePoint = false;  // none could be made, so nothing ran
};

// Reads one message of the run and prints what it tells.
void ReportMessage(RunReport& report, std::string_view message, const CliOutput& output);

// The exit code the run's messages call for: 0 every tweak succeeded or was
// passed by, 1 a tweak failed, the run stopped early or could not start, 2 it
// named nothing to do (an undo of an unknown run).
int RunExitCode(const RunReport& report);
