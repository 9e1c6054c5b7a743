#include "run/batch_output.h"

#include <algorithm>
#include <array>

#include "protocol/json_text.h"

namespace {

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// `text` cut to at most `limit` bytes at a character boundary.
std::string Shortened(std::string_view text, size_t limit) {
  if (text.size() <= limit) return std::string(text);
  size_t end = limit;
  while (end > 0 && IsContinuation(text[end])) --end;
  return std::string(text.substr(0, end)) + "...";
}

std::string_view Trimmed(std::string_view line) {
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
  return line;
}

// The error part of a line a step printed, or empty. PowerShell puts its own
// words before a Write-Error message, so the message is taken from its start.
std::string_view ErrorPart(std::string_view line) {
  static constexpr std::array<std::string_view, 3> kFrom = {"Failed to ", "Unexpected error", "ERROR: "};
  static constexpr std::array<std::string_view, 4> kWhole = {"Access is denied", "is not recognized as", "cannot find",
                                                             "Unable to "};
  size_t at = std::string_view::npos;
  for (std::string_view marker : kFrom) at = std::min(at, line.find(marker));
  if (at != std::string_view::npos) return Trimmed(line.substr(at));
  for (std::string_view marker : kWhole) {
    if (line.find(marker) != std::string_view::npos) return Trimmed(line);
  }
  return {};
}

std::string Duration(uint32_t ms) {
  return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

}  // namespace

void AppendOutput(OutputTail& tail, std::string_view chunk) {
  tail.total += chunk.size();
  if (chunk.size() >= kOutputKeepBytes) {
    tail.kept.assign(chunk.substr(chunk.size() - kOutputKeepBytes));
    return;
  }
  tail.kept.append(chunk);
  if (tail.kept.size() > 2 * kOutputKeepBytes) tail.kept.erase(0, tail.kept.size() - kOutputKeepBytes);
}

void SetOutputText(BatchResult& result, const OutputTail& tail) {
  std::string_view kept = tail.kept;
  if (kept.size() > kOutputKeepBytes) kept.remove_prefix(kept.size() - kOutputKeepBytes);
  uint64_t cut = tail.total - kept.size();
  if (cut > 0) {
    for (int i = 0; i < 3 && !kept.empty() && IsContinuation(kept.front()); ++i) {
      kept.remove_prefix(1);
      ++cut;
    }
  }
  // Through UTF-16 and back: the system's converter replaces what is invalid.
  const std::string valid = Utf16ToUtf8(Utf8ToUtf16(kept));
  result.output.clear();
  if (cut > 0) result.output.append("[").append(std::to_string(cut)).append(" bytes of earlier output cut]\n");
  result.output.reserve(result.output.size() + valid.size());
  for (size_t i = 0; i < valid.size(); ++i) {
    if (valid[i] == '\r' && i + 1 < valid.size() && valid[i + 1] == '\n') continue;
    result.output += valid[i];
  }
  result.cutBytes = cut;
}

std::vector<std::string> FailureReasons(const BatchResult& result) {
  switch (result.outcome) {
    case BatchOutcome::Succeeded: return {};
    case BatchOutcome::NotStarted: return {"could not start"};
    case BatchOutcome::TimedOut: return {"timed out after " + Duration(result.timeoutMs)};
    case BatchOutcome::Failed: break;
  }
  std::vector<std::string> reasons;
  std::string_view rest = result.output;
  while (!rest.empty() && reasons.size() < kMaxReasons) {
    const size_t end = std::min(rest.find('\n'), rest.size());
    const std::string reason = Shortened(ErrorPart(rest.substr(0, end)), kMaxReasonBytes);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    if (!reason.empty() && std::find(reasons.begin(), reasons.end(), reason) == reasons.end()) {
      reasons.push_back(reason);
    }
  }
  if (reasons.empty()) {
    reasons.push_back(result.exitCode ? "exit code " + std::to_string(*result.exitCode) : "exit code unknown");
  }
  return reasons;
}
