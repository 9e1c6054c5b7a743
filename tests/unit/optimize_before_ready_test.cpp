// A run that arrives before the page's first "ready": the tweak index is still
// empty (this program never builds it), so every id counts as an error.
#include <gtest/gtest.h>

#include "catalogue/tweak_index.h"
#include "run/batch_runner.h"
#include "run/optimize_run.h"
#include "run_messages.h"

TEST(OptimizeBeforeReady, EveryIdIsAnErrorAndNothingRuns) {
  ASSERT_EQ(TweakIndexSize(), 0u);
  CollectPageMessages();
  int scripts = 0;
  OptimizeRunWith({0, 1, 420}, [&](const char*) {
    ++scripts;
    return BatchResult{BatchOutcome::Succeeded, 0u, 0, "", 0};
  });
  EXPECT_EQ(scripts, 0);
  const auto messages = TakePageMessages();
  ASSERT_EQ(messages.size(), 6u);  // running, progress 0, three progress lines, done
  EXPECT_EQ(messages.back(), "{\"type\":\"done\",\"ok\":0,\"err\":3}");
}
