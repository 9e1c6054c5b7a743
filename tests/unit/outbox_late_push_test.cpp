// Late pushes are harmless: a run thread that keeps pushing while the process
// exits (main has returned, static objects are being destroyed) must not crash
// it. The child program makes that race; it is run many times over.
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(OutboxLatePush, ProcessExitWhileARunThreadPushesNeverCrashes) {
  for (int run = 0; run < QF_LATE_PUSH_RUNS; ++run) {
    ASSERT_EQ(std::system(QF_LATE_PUSH_CHILD), 0) << "run " << run;
  }
}

}  // namespace
