#include "run/optimize_run.h"

#include "catalogue/tweak_index.h"
#include "journal/journal_file.h"
#include "protocol/outbox.h"
#include "protocol/page_messages.h"
#include "run/batch_runner.h"
#include "run/run_state.h"
#include "run/tweak_output.h"
#include "state/state_check.h"

namespace {

// The tweak with its journal entry around it; a tweak whose entry could not
// be written runs all the same.
BatchResult RunJournaled(const Tweak& tweak, const ScriptRunner& runScript, RunJournal* journal) {
  JournalEntry entry;
  bool recorded = false;
  if (journal != nullptr && !journal->file.empty()) {
    entry = TweakEntry(tweak, journal->machine());
    recorded = WriteEntry(*journal, entry);
  }
  BatchResult result;
  try {
    result = runScript(tweak.script.c_str());
  } catch (...) {
    // A runner that throws (e.g. out of memory) failed this tweak only.
    result = BatchResult{};
  }
  if (recorded) {
    entry.finished = true;
    entry.ok = result.outcome == BatchOutcome::Succeeded;
    entry.after = Recapture(entry.before, journal->machine(), false).captures;
    WriteOutcome(*journal, entry);
  }
  return result;
}

}  // namespace

void OptimizeRunWith(std::vector<int32_t> ids, const RunSeams& seams) {
  g_running = true;
  ClearLastRunOutput();

  const auto total = static_cast<int32_t>(ids.size());
  RestorePointOutcome restorePoint;
  if (seams.restorePoints != nullptr) {
    restorePoint =
        MakeRestorePoint(*seams.restorePoints, "Quarnfeld Optimizer: before " + std::to_string(total) + " tweaks");
    PostToPageUtf8(WriteRestorePointMessage(restorePoint));
    if (!restorePoint.created) {
      // The page asks whether to go on without one, and sends the run again.
      PostLog(LogLevel::Warn, "%s Nothing was run.", restorePoint.text.c_str());
      PostDone(0, 0);
      g_running = false;
      return;
    }
    PostLog(LogLevel::Ok, "%s", restorePoint.text.c_str());
  }
  RunJournal journal;
  if (seams.journalFolder) {
    JournalRun run;
    run.kind = "apply";
    run.restorePoint = restorePoint.created;
    journal = StartRunJournal(*seams.journalFolder, std::move(run), seams.machine);
  }

  int32_t cur = 0;
  int32_t ok = 0;
  int32_t err = 0;
  PostLog(LogLevel::Info, "Running %d tweaks...", total);
  PostProgress(cur, total, ok, err);

  for (const int32_t id : ids) {
    if (g_cancelRequested) {
      PostLog(LogLevel::Warn, "Cancelled by user; %d not run.", total - cur);
      break;
    }
    const Tweak* tweak = id < 0 ? nullptr : TweakIndexAt(static_cast<size_t>(id));
    if (tweak == nullptr) {
      ++err;
    } else if (seams.isApplied && seams.isApplied(*tweak)) {
      PostLog(LogLevel::Ok, "[SKIP] %s: already applied", tweak->name.c_str());
      ++ok;
    } else {
      PostLog(LogLevel::Info, "[%d/%d] %s", cur + 1, total, tweak->name.c_str());
      BatchResult result = RunJournaled(*tweak, seams.runScript, &journal);
      if (result.outcome == BatchOutcome::Succeeded) {
        PostLog(LogLevel::Ok, "[OK] %s", tweak->name.c_str());
        ++ok;
      } else {
        PostLog(LogLevel::Err, "[FAIL] %s", tweak->name.c_str());
        try {
          for (const std::string& reason : FailureReasons(result)) PostLog(LogLevel::Err, "%s", reason.c_str());
        } catch (...) {
          // Out of memory: the "[FAIL]" line stands alone.
        }
        ++err;
      }
      try {
        KeepTweakOutput(id, std::move(result.output));
      } catch (...) {
        // Out of memory: this tweak's output is not kept.
      }
    }
    ++cur;
    PostProgress(cur, total, ok, err);
  }

  if (restorePoint.created) {
    const platform::RestorePointCall end = seams.restorePoints->end(restorePoint.sequence);
    if (end.status != platform::RestorePointCall::Status::kDone) {
      PostLog(LogLevel::Warn, "Windows did not close restore point %lld (error %u); it keeps it as it is.",
              static_cast<long long>(restorePoint.sequence), end.error);
    }
  }
  PostDone(ok, err);
  g_running = false;
}

void OptimizeRunWith(std::vector<int32_t> ids, const ScriptRunner& runScript, const AppliedCheck& isApplied) {
  OptimizeRunWith(std::move(ids), RunSeams{runScript, isApplied, std::nullopt, {}, nullptr});
}

bool AppliedOnThisMachine(const Tweak& tweak) { return SkipsAsApplied(CheckTweak(tweak, SystemMachine())); }

void OptimizeRun(std::vector<int32_t> ids, RunOptions options) {
  RunSeams seams;
  seams.runScript = RunBatchScript;
  // The machine is read afresh for each tweak: earlier tweaks of the run may
  // have changed what a later one would.
  if (options.skipApplied) {
    seams.isApplied = AppliedOnThisMachine;
  }
  seams.journalFolder = SystemJournalPlace().folder;
  seams.machine = SystemMachine;
  const RestorePointSystem restorePoints = SystemRestorePoints();
  if (options.restorePoint) seams.restorePoints = &restorePoints;
  OptimizeRunWith(std::move(ids), seams);
}
