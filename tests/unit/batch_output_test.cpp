// The batch output's bound and text, and the reasons a failed tweak is given.
#include "run/batch_output.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(BatchOutput, KeepsTheLastBytesWhateverTheChunksAndSaysHowMuchWasCut) {
  for (const size_t chunk : {size_t{1}, size_t{1000}, kOutputKeepBytes, 3 * kOutputKeepBytes}) {
    std::string all;
    for (size_t i = 0; all.size() < 5 * kOutputKeepBytes + 17; ++i) all += static_cast<char>('a' + i % 26);
    OutputTail tail;
    for (size_t at = 0; at < all.size(); at += chunk) {
      AppendOutput(tail, std::string_view(all).substr(at, chunk));
      ASSERT_LE(tail.kept.size(), 2 * kOutputKeepBytes);
    }
    BatchResult result;
    SetOutputText(result, tail);
    EXPECT_EQ(result.cutBytes, all.size() - kOutputKeepBytes) << chunk;
    std::string expected = std::string("[").append(std::to_string(result.cutBytes));
    expected.append(" bytes of earlier output cut]\n").append(all, all.size() - kOutputKeepBytes);
    EXPECT_EQ(result.output, expected) << chunk;
  }
}

TEST(BatchOutput, ACharacterCutInTwoAtTheFrontIsDroppedWhole) {
  // "П" is D0 9F: the cut leaves its second byte first.
  std::string all = "\xD0\x9F" + std::string(kOutputKeepBytes - 1, 'x');
  OutputTail tail;
  AppendOutput(tail, all);
  BatchResult result;
  SetOutputText(result, tail);
  EXPECT_EQ(result.cutBytes, 2u);
  EXPECT_EQ(result.output, "[2 bytes of earlier output cut]\n" + std::string(kOutputKeepBytes - 1, 'x'));
}

TEST(BatchOutput, ReasonsAreTheStepsErrorLinesAtMostThree) {
  const auto reasons = [](BatchOutcome outcome, const std::string& output, uint32_t timeoutMs = 120000) {
    return FailureReasons(BatchResult{outcome, 1u, timeoutMs, output, 0});
  };
  using Lines = std::vector<std::string>;
  EXPECT_EQ(reasons(BatchOutcome::Succeeded, "Failed to x\n"), Lines{});
  EXPECT_EQ(reasons(BatchOutcome::NotStarted, ""), Lines{"could not start"});
  EXPECT_EQ(reasons(BatchOutcome::TimedOut, "Failed to x\n"), Lines{"timed out after 120 s"});
  EXPECT_EQ(reasons(BatchOutcome::TimedOut, "", 250), Lines{"timed out after 250 ms"});
  EXPECT_EQ(reasons(BatchOutcome::Failed, "Skipping, no action needed\nDone\n"), Lines{"exit code 1"});
  EXPECT_EQ(FailureReasons(BatchResult{BatchOutcome::Failed, std::nullopt, 0, "", 0}), Lines{"exit code unknown"});
  // PowerShell's own words before a message are left out; repeats count once.
  EXPECT_EQ(reasons(BatchOutcome::Failed,
                    "Skipping\n"
                    "$x = 'a'; Stop-Service : Failed to stop the service \"X\": denied\n"
                    "    + CategoryInfo          : NotSpecified: (:) [Write-Error]\n"
                    "  ERROR: Access is denied.  \n"
                    "WARNING: Failed to stop the service \"X\": denied\n"
                    "'qf' is not recognized as an internal or external command,\n"
                    "Unexpected error: never shown, three is enough\n"),
            (Lines{"Failed to stop the service \"X\": denied", "ERROR: Access is denied.",
                   "'qf' is not recognized as an internal or external command,"}));
  // A long line is cut at a character boundary.
  const Lines longLine = reasons(BatchOutcome::Failed, "Failed to " + std::string(300, 'x') + "\n");
  ASSERT_EQ(longLine.size(), 1u);
  EXPECT_EQ(longLine[0], "Failed to " + std::string(kMaxReasonBytes - 10, 'x') + "...");
  std::string cyrillic;
  for (int i = 0; i < 200; ++i) cyrillic += "\xD0\x9F";
  EXPECT_EQ(reasons(BatchOutcome::Failed, "Failed to X" + cyrillic),
            Lines{"Failed to X" + cyrillic.substr(0, 188) + "..."});
}

}  // namespace
