#pragma once
// The restore point before a run: made through System Restore, and its
// outcome told honestly (made, System Protection off, one made too recently,
// and the rest), so that the page can ask whether to go on without one.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/restore_point.h"

// The System Restore calls, replaceable for tests.
struct RestorePointSystem {
  std::function<platform::RestorePointList()> list;
  std::function<platform::RestorePointCall(std::u16string_view description)> begin;
  std::function<platform::RestorePointCall(int64_t sequence)> end;
};
RestorePointSystem SystemRestorePoints();

struct RestorePointOutcome {
  bool created = false;
  // "created", "protection-off", "recent", "low-disk", "safe-mode", "busy",
  // "unavailable" or "failed".
  std::string reason;
  std::string text;  // the log's sentence
  int64_t sequence = 0;
};

// Begins a system change. Windows answers a request made within a day of
// its last restore point with that point's number, so the points it keeps are
// listed first to tell a new point from an old one.
RestorePointOutcome MakeRestorePoint(const RestorePointSystem& system, std::string_view description);

// {"type":"restore-point","created":B,"reason":R,"text":T}
std::string WriteRestorePointMessage(const RestorePointOutcome& outcome);
