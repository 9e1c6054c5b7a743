#pragma once
// Which recorded tweaks an undo puts back, and what it does with each thing
// they recorded: nothing (it already holds its state from before), put it
// back (it holds what the run left), or ask first (it changed since).

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "journal/journal_record.h"
#include "state/state_check.h"

struct UndoSelection {
  const JournalRun* run = nullptr;
  std::vector<const JournalEntry*> entries;  // to put back, newest first
  std::vector<std::string> passed;           // entries passed by, in plain words
};

// The entries of run `id` whose key is in `keys` (every entry when `keys` is
// empty), newest first, passing by those undone already by a later run and
// those that recorded nothing; nothing when the journal has no such run.
std::optional<UndoSelection> SelectUndo(const JournalText& journal, std::string_view id,
                                        const std::vector<std::string>& keys);

struct UndoDecision {
  const Capture* before = nullptr;
  bool restore = false;  // it holds what the run left: put it back
  std::string changed;   // not empty: it changed since the run, in plain words
};

// The decisions for one entry, newest change first, reading the machine now.
// `expected` holds, by TargetId, the state an undo of newer entries leaves
// behind; it is read before the machine and updated with this entry's states
// from before.
std::vector<UndoDecision> DecideUndo(const JournalEntry& entry, const Machine& machine,
                                     std::map<std::string, Capture>* expected);

struct UndoConflict {
  std::string key;
  std::string name;
  std::string text;
};
// What changed since the run among the selected entries, as the undo would
// meet it in its order.
std::vector<UndoConflict> FindUndoConflicts(const UndoSelection& selection, const Machine& machine);

// {"type":"undo-conflicts","run":ID,"conflicts":[{"key","name","text"}...]}
std::string WriteUndoConflictsMessage(std::string_view run, const std::vector<UndoConflict>& conflicts);
