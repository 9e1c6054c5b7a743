#include "run/optimize_run.h"

#include "catalogue/tweak_index.h"
#include "protocol/page_messages.h"
#include "run/batch_runner.h"
#include "run/run_state.h"
#include "state/state_check.h"

void OptimizeRunWith(std::vector<int32_t> ids, const ScriptRunner& runScript, const AppliedCheck& isApplied) {
  g_running = true;
  g_cancelRequested = false;

  const auto total = static_cast<int32_t>(ids.size());
  int32_t cur = 0;
  int32_t ok = 0;
  int32_t err = 0;
  PostLog(LogLevel::Info, "Running %d tweaks...", total);
  PostProgress(cur, total, ok, err);

  for (const int32_t id : ids) {
    if (g_cancelRequested) {
      PostLog(LogLevel::Warn, "Cancelled by user.");
      break;
    }
    const Tweak* tweak = id < 0 ? nullptr : TweakIndexAt(static_cast<size_t>(id));
    if (tweak == nullptr) {
      ++err;
    } else if (isApplied && isApplied(*tweak)) {
      PostLog(LogLevel::Ok, "[SKIP] %s: already applied", tweak->name.c_str());
      ++ok;
    } else {
      PostLog(LogLevel::Info, "[%d/%d] %s", cur + 1, total, tweak->name.c_str());
      bool succeeded = false;
      try {
        succeeded = runScript(tweak->script.c_str());
      } catch (...) {
        // A runner that throws (e.g. out of memory) failed this tweak only.
        succeeded = false;
      }
      if (succeeded) {
        PostLog(LogLevel::Ok, "[OK] %s", tweak->name.c_str());
        ++ok;
      } else {
        PostLog(LogLevel::Err, "[FAIL] %s", tweak->name.c_str());
        ++err;
      }
    }
    ++cur;
    PostProgress(cur, total, ok, err);
  }

  PostDone(ok, err);
  g_running = false;
}

void OptimizeRun(std::vector<int32_t> ids, bool skipApplied) {
  AppliedCheck isApplied;
  // The machine is read afresh for each tweak: earlier tweaks of the run may
  // have changed what a later one would.
  if (skipApplied) isApplied = [](const Tweak& tweak) { return SkipsAsApplied(CheckTweak(tweak, SystemMachine())); };
  OptimizeRunWith(std::move(ids), RunBatchScript, isApplied);
}
