// The catalogue's plain command lists through the real runner and cmd.exe
// under Wine: none hangs, and the hardware rows, which first check for their
// vendor's chip, end with a failure on a machine that does not match.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

#include "catalogue/catalogue.h"
#include "run/batch_runner.h"

namespace {

bool HasPowerShellStep(std::string_view body) {
  return body.find("\nPowerShell -NoProfile") != std::string_view::npos || body.rfind("PowerShell -NoProfile", 0) == 0;
}

TEST(CatalogueRowsWin32, PlainCommandListsFinishWithinTheWait) {
  int rows = 0;
  for (const Category& category : BuildCatalogue()) {
    for (const Tweak& tweak : category.tweaks) {
      // The hardware rows stop at their vendor check here, before any step.
      const bool hardware = category.key == "hardware";
      if (tweak.script.empty() || (HasPowerShellStep(tweak.script) && !hardware)) continue;
      ++rows;
      const auto start = std::chrono::steady_clock::now();
      const bool ok = RunBatchScript(tweak.script.c_str()).outcome == BatchOutcome::Succeeded;
      const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      std::printf("%-70.70s %s %.1f s\n", tweak.name.c_str(), ok ? "ok  " : "fail", seconds);
      EXPECT_LT(seconds, kScriptTimeoutMs / 1000.0 - 1) << tweak.name << " ran into the runner's wait";
      if (hardware) {
        EXPECT_FALSE(ok) << tweak.name << " on a machine it was not made for";
      }
    }
  }
  EXPECT_GE(rows, 10);  // the hardware rows and the other plain lists are found
}

}  // namespace
