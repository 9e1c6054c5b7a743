#pragma once
// Undo: puts the recorded state of a run's tweaks back, newest change first,
// natively and without scripts. It reports through the run's own "log",
// "progress" and "done", and is journaled like a run, so that the journal
// always tells what the machine went through.

#include <functional>
#include <string>
#include <vector>

#include "journal/restore.h"
#include "state/state_check.h"

struct UndoRequest {
  std::string run;
  std::vector<std::string> keys;  // empty: every tweak of the run
  bool force = false;             // put back even what changed since the run
};

// What undo works through; tests give their own.
struct UndoSeams {
  std::u16string journalFolder;  // empty: none could be had
  std::function<Machine()> machine;
  MachineChanges changes;
};

// On the run thread, with g_running raised by the caller; clears it at the
// end. Without `force`, anything changed since the run is answered with an
// "undo-conflicts" message and nothing is done; a run or keys that name
// nothing to undo are answered with a warning.
void UndoRunWith(const UndoRequest& request, const UndoSeams& seams);
void UndoRun(const UndoRequest& request);
