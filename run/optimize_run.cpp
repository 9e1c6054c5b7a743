#include "run/optimize_run.h"

#include "catalogue/tweak_index.h"
#include "protocol/page_messages.h"
#include "protocol/run_state.h"
#include "run/batch_runner.h"
#include "run/tweak_output.h"

void OptimizeRunWith(std::vector<int32_t> ids, const ScriptRunner& runScript, uint32_t timeoutMs) {
  g_running = true;
  ClearLastRunOutput();

  const auto total = static_cast<int32_t>(ids.size());
  int32_t cur = 0;
  int32_t ok = 0;
  int32_t err = 0;
  LogInfo("Running %d tweaks...", total);
  PostProgress(cur, total, ok, err);

  for (const int32_t id : ids) {
    if (g_cancelRequested) {
      LogWarn("Cancelled by user; %d not run.", total - cur);
      break;
    }
    const Tweak* tweak = id < 0 ? nullptr : TweakIndexAt(static_cast<size_t>(id));
    if (tweak == nullptr) {
      ++err;
    } else {
      LogInfo("[%d/%d] %s", cur + 1, total, tweak->name.c_str());
      BatchResult result;
      try {
        result = runScript(tweak->script.c_str());
      } catch (...) {
        // A runner that throws (e.g. out of memory) failed this tweak only.
        result = BatchResult{};
      }
      if (result.outcome == BatchOutcome::Succeeded) {
        LogOk("[OK] %s", tweak->name.c_str());
        ++ok;
      } else {
        LogErr("[FAIL] %s", tweak->name.c_str());
        try {
          for (const std::string& reason : FailureReasons(result, timeoutMs)) LogErr("%s", reason.c_str());
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

  PostDone(ok, err);
  g_running = false;
}

void OptimizeRun(std::vector<int32_t> ids) { OptimizeRunWith(std::move(ids), RunBatchScript, kScriptTimeoutMs); }
