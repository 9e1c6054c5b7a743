// The run's message sequence and counting, with a scripted runner.
#include "run/optimize_run.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/tweak_index.h"
#include "platform/thread.h"
#include "run/batch_runner.h"
#include "run/run_state.h"
#include "run/tweak_output.h"
#include "run_messages.h"

namespace {

using Messages = std::vector<std::string>;

const std::string kA = "Deep System Cleanup (bulk: temp, logs, caches, prefetch)";  // id 0
const std::string kB = "Clear Quick Access pinned items";                           // id 1

std::string Log(const std::string& level, const std::string& text) {
  return "{\"type\":\"log\",\"level\":\"" + level + "\",\"text\":" + JsonQuote(text) + "}";
}
std::string Progress(int cur, int max, int ok, int err) {
  return "{\"type\":\"progress\",\"cur\":" + std::to_string(cur) + ",\"max\":" + std::to_string(max) +
         ",\"ok\":" + std::to_string(ok) + ",\"err\":" + std::to_string(err) + "}";
}
const BatchResult kOk{BatchOutcome::Succeeded, 0u, 0, "", 0};
const BatchResult kFailed{BatchOutcome::Failed, 1u, 0, "", 0};

std::string Done(int ok, int err) {
  return "{\"type\":\"done\",\"ok\":" + std::to_string(ok) + ",\"err\":" + std::to_string(err) + "}";
}

class OptimizeRunTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    g_catalogue = BuildCatalogue();
    UpdateTweakIndex(g_catalogue);
  }
  void SetUp() override {
    CollectPageMessages();
    g_running = false;
    g_cancelRequested = false;
  }
  // Answers each call with the next of `results` and records the scripts.
  ScriptRunner Scripted(std::vector<BatchResult> results) {
    return [this, results, call = size_t{0}](const char* script) mutable {
      scripts.emplace_back(script);
      return results.at(call++);
    };
  }
  void Run(std::vector<int32_t> ids, const ScriptRunner& runner) { OptimizeRunWith(std::move(ids), runner); }
  std::vector<std::string> scripts;
};

TEST_F(OptimizeRunTest, TwoIdsFirstSucceedsSecondFails) {
  Run({0, 1}, Scripted({kOk, kFailed}));
  EXPECT_EQ(TakePageMessages(),
            (Messages{Log("info", "Running 2 tweaks..."), Progress(0, 2, 0, 0), Log("info", "[1/2] " + kA),
                      Log("ok", "[OK] " + kA), Progress(1, 2, 1, 0), Log("info", "[2/2] " + kB),
                      Log("err", "[FAIL] " + kB), Log("err", "exit code 1"), Progress(2, 2, 1, 1), Done(1, 1)}));
  EXPECT_EQ(scripts, (std::vector<std::string>{TweakIndexAt(0)->script, TweakIndexAt(1)->script}));
  EXPECT_FALSE(g_running);
}

TEST_F(OptimizeRunTest, UnknownIdsCountAsErrorsWithoutALogLine) {
  Run({-1}, Scripted({}));
  EXPECT_EQ(TakePageMessages(),
            (Messages{Log("info", "Running 1 tweaks..."), Progress(0, 1, 0, 0), Progress(1, 1, 0, 1), Done(0, 1)}));
  Run({static_cast<int32_t>(TweakIndexSize()), 1}, Scripted({kOk}));
  EXPECT_EQ(TakePageMessages(),
            (Messages{Log("info", "Running 2 tweaks..."), Progress(0, 2, 0, 0), Progress(1, 2, 0, 1),
                      Log("info", "[2/2] " + kB), Log("ok", "[OK] " + kB), Progress(2, 2, 1, 1), Done(1, 1)}));
}

TEST_F(OptimizeRunTest, CancelDuringTheFirstOfThreeStopsBeforeTheSecond) {
  ScriptRunner cancelWhileRunning = [](const char*) {
    g_cancelRequested = true;  // the page's "cancel" arrives while this script runs
    return kOk;
  };
  Run({0, 1, 0}, cancelWhileRunning);
  EXPECT_EQ(TakePageMessages(), (Messages{Log("info", "Running 3 tweaks..."), Progress(0, 3, 0, 0),
                                          Log("info", "[1/3] " + kA), Log("ok", "[OK] " + kA), Progress(1, 3, 1, 0),
                                          Log("warn", "Cancelled by user; 2 not run."), Done(1, 0)}));
  EXPECT_FALSE(g_running);
}

TEST_F(OptimizeRunTest, CancelBeforeTheRunThreadGetsGoingRunsNothing) {
  // The dispatcher cleared the flag when it accepted the run; a "cancel"
  // raised after that, before the thread got here, stops the run at once.
  g_cancelRequested = true;
  Run({1}, Scripted({kOk}));
  EXPECT_TRUE(scripts.empty());
  EXPECT_EQ(TakePageMessages(), (Messages{Log("info", "Running 1 tweaks..."), Progress(0, 1, 0, 0),
                                          Log("warn", "Cancelled by user; 1 not run."), Done(0, 0)}));
}

TEST_F(OptimizeRunTest, FailedTweaksAreFollowedByTheirReasonsAndEveryOutputIsKept) {
  const BatchResult stepFailed{BatchOutcome::Failed, 0u, 0,
                               "Skipping, no action needed\n"
                               "WARNING: Failed to stop service \"X\". Error: denied\n"
                               "ERROR: Access is denied.\n",
                               0};
  const BatchResult timedOut{BatchOutcome::TimedOut, std::nullopt, 120000, "working\n", 0};
  KeepTweakOutput(5, "from an earlier run");
  Run({0, 1, 0}, Scripted({stepFailed, timedOut, BatchResult{}}));
  EXPECT_EQ(TakePageMessages(),
            (Messages{Log("info", "Running 3 tweaks..."), Progress(0, 3, 0, 0), Log("info", "[1/3] " + kA),
                      Log("err", "[FAIL] " + kA), Log("err", "Failed to stop service \"X\". Error: denied"),
                      Log("err", "ERROR: Access is denied."), Progress(1, 3, 0, 1), Log("info", "[2/3] " + kB),
                      Log("err", "[FAIL] " + kB), Log("err", "timed out after 120 s"), Progress(2, 3, 0, 2),
                      Log("info", "[3/3] " + kA), Log("err", "[FAIL] " + kA), Log("err", "could not start"),
                      Progress(3, 3, 0, 3), Done(0, 3)}));
  // The last run's outputs only; a tweak run twice keeps its later output.
  EXPECT_EQ(LastRunOutput(1), "working\n");
  EXPECT_EQ(LastRunOutput(0), "");
  EXPECT_EQ(LastRunOutput(5), std::nullopt);
  EXPECT_EQ(LastRunOutput(2), std::nullopt);
}

// The check is made just before each tweak, so a tweak that an earlier one of
// the same run put in place is passed by.
TEST_F(OptimizeRunTest, AppliedTweaksArePassedByAndCountAsSucceeded) {
  std::vector<std::string> checked;
  OptimizeRunWith({0, 1, 0}, Scripted({kFailed}), [&](const Tweak& tweak) {
    checked.push_back(tweak.name);
    return checked.size() != 2;
  });
  EXPECT_EQ(checked, (std::vector<std::string>{kA, kB, kA}));
  EXPECT_EQ(TakePageMessages(),
            (Messages{Log("info", "Running 3 tweaks..."), Progress(0, 3, 0, 0),
                      Log("ok", "[SKIP] " + kA + ": already applied"), Progress(1, 3, 1, 0), Log("info", "[2/3] " + kB),
                      Log("err", "[FAIL] " + kB), Log("err", "exit code 1"), Progress(2, 3, 1, 1),
                      Log("ok", "[SKIP] " + kA + ": already applied"), Progress(3, 3, 2, 1), Done(2, 1)}));
}

TEST_F(OptimizeRunTest, TheSameIdTwiceRunsTwice) {
  Run({1, 1}, Scripted({kOk, kOk}));
  EXPECT_EQ(scripts.size(), 2u);
  EXPECT_EQ(TakePageMessages().back(), Done(2, 0));
}

TEST_F(OptimizeRunTest, RunnerThatThrowsFailsOnlyThatTweak) {
  int calls = 0;
  Run({0, 1}, [&](const char*) -> BatchResult {
    if (calls++ == 0) throw std::bad_alloc();
    return kOk;
  });
  const Messages got = TakePageMessages();
  EXPECT_EQ(got[3], Log("err", "[FAIL] " + kA));
  EXPECT_EQ(got[4], Log("err", "could not start"));
  EXPECT_EQ(got.back(), Done(1, 1));
}

TEST_F(OptimizeRunTest, DoneIsQueuedBeforeTheRunningFlagIsCleared) {
  for (int round = 0; round < 50; ++round) {
    CollectPageMessages();
    g_running = true;  // as the dispatcher raises it before the thread starts
    ASSERT_TRUE(platform::StartDetachedThread(
        [](void*) {
          OptimizeRunWith({0, 1, -1}, [](const char*) { return kOk; });
        },
        nullptr));
    bool sawDone = false;
    for (bool running = true; running;) {
      running = g_running;
      for (const std::string& m : TakePageMessages()) sawDone |= m.rfind("{\"type\":\"done\"", 0) == 0;
    }
    // The flag was seen down before that last drain: "done" was queued by then.
    EXPECT_TRUE(sawDone) << "round " << round;
  }
}

// Each answer System Restore can give, and what the run makes of it: only a
// new restore point lets the tweaks run, and the page hears why not.
TEST_F(OptimizeRunTest, RestorePointFirstAndNothingRunsWithoutOne) {
  using Call = platform::RestorePointCall;
  const platform::RestorePointList kept{true, {{1, u"20250101080000.000000+000"}, {2, u"20250614103000.000000+180"}}};
  struct Case {
    platform::RestorePointList list;
    Call begin;
    std::string reason;
    std::string text;
  };
  const Case cases[] = {
      {kept, {Call::Status::kDone, 0, 3}, "created", "Restore point 3 made: \"Quarnfeld Optimizer: before 2 tweaks\"."},
      {kept,
       {Call::Status::kDone, 0, 2},
       "recent",
       "No new restore point: Windows makes one a day at most, and restore point 2 was made on 2025-06-14 10:30."},
      {{},
       {Call::Status::kDone, 0, 9},
       "created",
       "Restore point 9 made: \"Quarnfeld Optimizer: before 2 tweaks\". (Windows may have kept a point it made today "
       "instead.)"},
      {kept,
       {Call::Status::kFailed, platform::kErrorServiceDisabled, 0},
       "protection-off",
       "No restore point: System Protection is off for the system drive. It is turned on in System Properties, System "
       "Protection (SystemPropertiesProtection.exe): the system drive, Configure, Turn on system protection."},
      {kept,
       {Call::Status::kFailed, platform::kErrorDiskFull, 0},
       "low-disk",
       "No restore point: System Restore is standing by, the disk is low on space."},
      {kept, {Call::Status::kFailed, 31, 0}, "failed", "No restore point: System Restore failed (error 31)."},
      {kept, {}, "unavailable", "No restore point: System Restore is not available on this system."},
  };
  for (const Case& c : cases) {
    std::vector<int64_t> ended;
    const RestorePointSystem system{[&c] { return c.list; },
                                    [&c](std::u16string_view description) {
                                      EXPECT_EQ(description, u"Quarnfeld Optimizer: before 2 tweaks");
                                      return c.begin;
                                    },
                                    [&ended](int64_t sequence) {
                                      ended.push_back(sequence);
                                      return Call{Call::Status::kDone, 0, sequence};
                                    }};
    scripts.clear();
    OptimizeRunWith({0, 1}, RunSeams{Scripted({kOk, kOk}), {}, std::nullopt, {}, &system});
    const Messages got = TakePageMessages();
    const bool created = c.reason == "created";
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0], "{\"type\":\"restore-point\",\"created\":" + std::string(created ? "true" : "false") +
                          ",\"reason\":\"" + c.reason + "\",\"text\":" + JsonQuote(c.text) + "}");
    if (created) {
      EXPECT_EQ(got[1], Log("ok", c.text));
      EXPECT_EQ(scripts.size(), 2u);
      EXPECT_EQ(ended, std::vector<int64_t>{c.begin.sequence});
      EXPECT_EQ(got.back(), Done(2, 0));
    } else {
      EXPECT_EQ(got, (Messages{got[0], Log("warn", c.text + " Nothing was run."), Done(0, 0)}));
      EXPECT_TRUE(scripts.empty());
      EXPECT_TRUE(ended.empty());
    }
    EXPECT_FALSE(g_running);
  }
}

}  // namespace
