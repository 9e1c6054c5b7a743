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
#include "run/run_state.h"
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
  ScriptRunner Scripted(std::vector<bool> results) {
    return [this, results, call = size_t{0}](const char* script) mutable {
      scripts.emplace_back(script);
      return results.at(call++);
    };
  }
  std::vector<std::string> scripts;
};

TEST_F(OptimizeRunTest, TwoIdsFirstSucceedsSecondFails) {
  OptimizeRunWith({0, 1}, Scripted({true, false}));
  EXPECT_EQ(TakePageMessages(),
            (Messages{Log("info", "Running 2 tweaks..."), Progress(0, 2, 0, 0), Log("info", "[1/2] " + kA),
                      Log("ok", "[OK] " + kA), Progress(1, 2, 1, 0), Log("info", "[2/2] " + kB),
                      Log("err", "[FAIL] " + kB), Progress(2, 2, 1, 1), Done(1, 1)}));
  EXPECT_EQ(scripts, (std::vector<std::string>{TweakIndexAt(0)->script, TweakIndexAt(1)->script}));
  EXPECT_FALSE(g_running);
}

TEST_F(OptimizeRunTest, UnknownIdsCountAsErrorsWithoutALogLine) {
  OptimizeRunWith({-1}, Scripted({}));
  EXPECT_EQ(TakePageMessages(),
            (Messages{Log("info", "Running 1 tweaks..."), Progress(0, 1, 0, 0), Progress(1, 1, 0, 1), Done(0, 1)}));
  OptimizeRunWith({static_cast<int32_t>(TweakIndexSize()), 1}, Scripted({true}));
  EXPECT_EQ(TakePageMessages(),
            (Messages{Log("info", "Running 2 tweaks..."), Progress(0, 2, 0, 0), Progress(1, 2, 0, 1),
                      Log("info", "[2/2] " + kB), Log("ok", "[OK] " + kB), Progress(2, 2, 1, 1), Done(1, 1)}));
}

TEST_F(OptimizeRunTest, CancelDuringTheFirstOfThreeStopsBeforeTheSecond) {
  ScriptRunner cancelWhileRunning = [](const char*) {
    g_cancelRequested = true;  // the page's "cancel" arrives while this script runs
    return true;
  };
  OptimizeRunWith({0, 1, 0}, cancelWhileRunning);
  EXPECT_EQ(TakePageMessages(),
            (Messages{Log("info", "Running 3 tweaks..."), Progress(0, 3, 0, 0), Log("info", "[1/3] " + kA),
                      Log("ok", "[OK] " + kA), Progress(1, 3, 1, 0), Log("warn", "Cancelled by user."), Done(1, 0)}));
  EXPECT_FALSE(g_running);
}

TEST_F(OptimizeRunTest, CancelBeforeTheRunStartsIsDiscarded) {
  g_cancelRequested = true;
  OptimizeRunWith({1}, Scripted({true}));
  EXPECT_EQ(TakePageMessages().back(), Done(1, 0));
}

// The check is made just before each tweak, so a tweak that an earlier one of
// the same run put in place is passed by.
TEST_F(OptimizeRunTest, AppliedTweaksArePassedByAndCountAsSucceeded) {
  std::vector<std::string> checked;
  OptimizeRunWith({0, 1, 0}, Scripted({false}), [&](const Tweak& tweak) {
    checked.push_back(tweak.name);
    return checked.size() != 2;
  });
  EXPECT_EQ(checked, (std::vector<std::string>{kA, kB, kA}));
  EXPECT_EQ(TakePageMessages(),
            (Messages{Log("info", "Running 3 tweaks..."), Progress(0, 3, 0, 0),
                      Log("ok", "[SKIP] " + kA + ": already applied"), Progress(1, 3, 1, 0), Log("info", "[2/3] " + kB),
                      Log("err", "[FAIL] " + kB), Progress(2, 3, 1, 1), Log("ok", "[SKIP] " + kA + ": already applied"),
                      Progress(3, 3, 2, 1), Done(2, 1)}));
}

TEST_F(OptimizeRunTest, TheSameIdTwiceRunsTwice) {
  OptimizeRunWith({1, 1}, Scripted({true, true}));
  EXPECT_EQ(scripts.size(), 2u);
  EXPECT_EQ(TakePageMessages().back(), Done(2, 0));
}

TEST_F(OptimizeRunTest, RunnerThatThrowsFailsOnlyThatTweak) {
  int calls = 0;
  OptimizeRunWith({0, 1}, [&](const char*) -> bool {
    if (calls++ == 0) throw std::bad_alloc();
    return true;
  });
  const Messages got = TakePageMessages();
  EXPECT_EQ(got[3], Log("err", "[FAIL] " + kA));
  EXPECT_EQ(got.back(), Done(1, 1));
}

TEST_F(OptimizeRunTest, DoneIsQueuedBeforeTheRunningFlagIsCleared) {
  for (int round = 0; round < 50; ++round) {
    CollectPageMessages();
    g_running = true;  // as the dispatcher raises it before the thread starts
    ASSERT_TRUE(platform::StartDetachedThread(
        [](void*) {
          OptimizeRunWith({0, 1, -1}, [](const char*) { return true; });
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

}  // namespace
