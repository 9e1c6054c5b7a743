#include "run/undo_run.h"

#include "journal/journal_file.h"
#include "journal/undo_plan.h"
#include "protocol/outbox.h"
#include "protocol/page_messages.h"
#include "run/run_state.h"

namespace {

// Puts one entry back; the failures, in plain words.
std::vector<std::string> UndoEntry(const JournalEntry& entry, const UndoSeams& seams, bool force, RunJournal* journal) {
  const Machine machine = seams.machine();
  std::map<std::string, Capture> expected;
  const std::vector<UndoDecision> decisions = DecideUndo(entry, machine, &expected);

  // The undo's own entry: the state before it, so that it too can be undone.
  JournalEntry undo;
  undo.key = entry.key;
  undo.name = entry.name;
  undo.reversibility = "full";
  Captured now = Recapture(entry.before, machine, true);
  undo.before = std::move(now.captures);
  undo.missed = std::move(now.missed);
  undo.undoes = entry.n;
  const bool recorded = WriteEntry(*journal, undo);

  std::vector<std::string> failures;
  for (const UndoDecision& decision : decisions) {
    if (!decision.changed.empty() && !force) {
      failures.push_back("left as it is, it changed since: " + decision.changed);
      continue;
    }
    if (!decision.restore && decision.changed.empty()) continue;
    if (!decision.changed.empty())
      PostLog(LogLevel::Warn, "Put back although it changed since: %s", decision.changed.c_str());
    std::string failed = RestoreCapture(*decision.before, seams.changes);
    if (!failed.empty()) failures.push_back(std::move(failed));
  }
  if (recorded) {
    undo.finished = true;
    undo.ok = failures.empty();
    undo.after = Recapture(undo.before, seams.machine(), false).captures;
    WriteOutcome(*journal, undo);
  }
  return failures;
}

}  // namespace

void UndoRunWith(const UndoRequest& request, const UndoSeams& seams) {
  g_cancelRequested = false;
  if (seams.journalFolder.empty()) {
    PostLog(LogLevel::Warn, "No journal: its folder cannot be had, so there is nothing to undo.");
    g_running = false;
    return;
  }
  const LoadedJournal loaded = LoadJournal(seams.journalFolder);
  const std::optional<UndoSelection> selection = SelectUndo(loaded.journal, request.run, request.keys);
  if (!selection) {
    PostLog(LogLevel::Warn, "The journal holds no run %s.", request.run.c_str());
    g_running = false;
    return;
  }
  if (selection->entries.empty()) {
    for (const std::string& passed : selection->passed) PostLog(LogLevel::Warn, "%s.", passed.c_str());
    PostLog(LogLevel::Warn, "Nothing to undo.");
    g_running = false;
    return;
  }
  if (!request.force) {
    const std::vector<UndoConflict> conflicts = FindUndoConflicts(*selection, seams.machine());
    if (!conflicts.empty()) {
      // The page asks, and sends the undo again with "force" or without
      // these tweaks.
      PostToPageUtf8(WriteUndoConflictsMessage(request.run, conflicts));
      g_running = false;
      return;
    }
  }

  JournalRun run;
  run.kind = "undo";
  run.undoes = request.run;
  RunJournal journal = StartRunJournal(seams.journalFolder, std::move(run), seams.machine);
  const auto total = static_cast<int32_t>(selection->entries.size());
  int32_t cur = 0;
  int32_t ok = 0;
  int32_t err = 0;
  PostLog(LogLevel::Info, "Undoing %d tweaks of the run of %s...", total, selection->run->start.c_str());
  for (const std::string& passed : selection->passed) PostLog(LogLevel::Info, "%s.", passed.c_str());
  PostProgress(cur, total, ok, err);
  for (const JournalEntry* entry : selection->entries) {
    if (g_cancelRequested) {
      PostLog(LogLevel::Warn, "Cancelled by user.");
      break;
    }
    PostLog(LogLevel::Info, "[%d/%d] Undo: %s", cur + 1, total, entry->name.c_str());
    for (const std::string& missed : entry->missed) {
      PostLog(LogLevel::Warn, "Not recorded, so not put back: %s", missed.c_str());
    }
    std::vector<std::string> failures;
    try {
      failures = UndoEntry(*entry, seams, request.force, &journal);
    } catch (...) {
      // Out of memory: this tweak only.
      failures.push_back("the program ran out of memory");
    }
    if (failures.empty()) {
      PostLog(LogLevel::Ok, "[OK] %s", entry->name.c_str());
      ++ok;
    } else {
      PostLog(LogLevel::Err, "[FAIL] %s", entry->name.c_str());
      for (const std::string& failure : failures) PostLog(LogLevel::Err, "%s", failure.c_str());
      ++err;
    }
    ++cur;
    PostProgress(cur, total, ok, err);
  }
  PostDone(ok, err);
  g_running = false;
}

void UndoRun(const UndoRequest& request) {
  UndoRunWith(request, {SystemJournalPlace().folder, SystemMachine, SystemMachineChanges()});
}
