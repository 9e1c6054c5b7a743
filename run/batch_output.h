#pragma once
// What a batch printed: the last kOutputKeepBytes of its standard output and
// error, the text made of them, and the few lines that say why it failed.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr size_t kOutputKeepBytes = 64 * 1024;

// The bytes kept so far and how many arrived in all.
struct OutputTail {
  std::string kept;
  uint64_t total = 0;
};
// Keeps the last kOutputKeepBytes of everything appended (the buffer grows to
// twice that between trims).
void AppendOutput(OutputTail& tail, std::string_view chunk);

enum class BatchOutcome { Succeeded, Failed, TimedOut, NotStarted };

struct BatchResult {
  BatchOutcome outcome = BatchOutcome::NotStarted;
  std::optional<uint32_t> exitCode;  // when the batch ended and its code could be read
  uint32_t timeoutMs = 0;            // the wait that ran out, when TimedOut
  // UTF-8: the kept output as the console code page the header sets (65001)
  // makes it, each invalid byte sequence replaced by U+FFFD, CR LF as LF; a
  // first line says how many bytes were cut from the front.
  std::string output;
  uint64_t cutBytes = 0;
};

// Fills `output` and `cutBytes` from `tail`. A character cut in two at the
// front is dropped whole.
void SetOutputText(BatchResult& result, const OutputTail& tail);

// Why a batch that did not succeed failed, at most kMaxReasons lines:
// "could not start", "timed out after 120 s", else the error lines its steps
// printed ("Failed to ...", "ERROR: ...", ...), else "exit code N".
inline constexpr size_t kMaxReasons = 3;
inline constexpr size_t kMaxReasonBytes = 200;
std::vector<std::string> FailureReasons(const BatchResult& result);
