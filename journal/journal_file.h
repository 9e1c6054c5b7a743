#pragma once
// The journal file: where it lives, how a run opens it and appends to it, and
// how it stays whole and bounded. Problems are told in the log and never stop
// a run: what could not be written cannot be undone, and the log says which.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "catalogue/catalogue.h"
#include "journal/journal_record.h"
#include "state/state_check.h"

inline constexpr char16_t kJournalFileName[] = u"journal.jsonl";
// The journal keeps the newest runs within both bounds; older ones are
// dropped when a run starts.
inline constexpr size_t kJournalRuns = 50;
inline constexpr size_t kJournalBytes = 64 * 1024 * 1024;

// Elevated: the administrators-only data folder under %ProgramData%; otherwise
// the user's own under %LOCALAPPDATA%, where undo reaches only what the user
// could change. The folder ends in a separator; empty when none can be had.
struct JournalPlace {
  std::u16string folder;
  bool perUser = false;
};
JournalPlace SystemJournalPlace();

std::u16string JournalFile(const std::u16string& folder);

// The journal as it is on disk; a missing file reads as an empty journal.
// `unreadable`: a file is there that cannot be read whole.
struct LoadedJournal {
  JournalText journal;
  bool unreadable = false;
};
LoadedJournal LoadJournal(const std::u16string& folder);

// A run writing its journal.
struct RunJournal {
  std::u16string file;              // empty: this run keeps no journal
  bool administratorsOnly = false;  // elevated: every file it makes is for administrators alone
  JournalRun run;                   // its id, start and kind; entries are not kept here
  int32_t entries = 0;
  std::function<Machine()> machine;  // the machine read afresh for each capture
};

// Opens the run's part of the journal in `folder`: a journal with unreadable
// lines is set aside under a new name and its readable runs carried over, a
// torn last line is cut, the oldest runs beyond the bounds are dropped, and
// the run line is appended with a fresh id. `run` gives the kind (and what an
// undo undoes).
RunJournal StartRunJournal(const std::u16string& folder, JournalRun run, std::function<Machine()> machine);

// Appends the entry's line (its number is set here); false when it could not
// be written, and the log says that the tweak cannot be undone.
bool WriteEntry(RunJournal& journal, JournalEntry& entry);
// Appends the outcome line of an entry WriteEntry wrote.
void WriteOutcome(RunJournal& journal, const JournalEntry& entry);

// The entry of a tweak about to run: its state before, read now, and what of
// it cannot be undone.
JournalEntry TweakEntry(const Tweak& tweak, const Machine& machine);

// The start of a run in UTC ("2025-06-14T10:30:00Z") and the run id made from
// it ("20250614-103000-123").
struct RunTime {
  std::string start;
  std::string id;
};
RunTime RunTimeNow();
