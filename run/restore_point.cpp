#include "run/restore_point.h"

#include "platform/text.h"
#include "protocol/json_text.h"

namespace {

// "yyyymmddHHMMSS.mmmmmm+UUU" as "yyyy-mm-dd HH:MM"; as given when shorter.
std::string ShownTime(const std::u16string& created) {
  const std::string text = platform::Utf16ToUtf8(created);
  if (text.size() < 12) return text;
  return text.substr(0, 4) + "-" + text.substr(4, 2) + "-" + text.substr(6, 2) + " " + text.substr(8, 2) + ":" +
         text.substr(10, 2);
}

RestorePointOutcome NotCreated(std::string reason, std::string text) {
  return {false, std::move(reason), std::move(text), 0};
}

}  // namespace

RestorePointSystem SystemRestorePoints() {
  return {platform::ListRestorePoints, platform::BeginSystemChange, platform::EndSystemChange};
}

RestorePointOutcome MakeRestorePoint(const RestorePointSystem& system, std::string_view description) {
  const platform::RestorePointList before = system.list();
  const platform::RestorePointCall call = system.begin(platform::Utf8ToUtf16(description));
  using Status = platform::RestorePointCall::Status;
  if (call.status == Status::kUnavailable) {
    return NotCreated("unavailable", "No restore point: System Restore is not available on this system.");
  }
  if (call.status == Status::kFailed) {
    switch (call.error) {
      case platform::kErrorServiceDisabled:
        return NotCreated("protection-off",
                          "No restore point: System Protection is off for the system drive. It is turned on in "
                          "System Properties, System Protection (SystemPropertiesProtection.exe): the system drive, "
                          "Configure, Turn on system protection.");
      case platform::kErrorDiskFull:
        return NotCreated("low-disk", "No restore point: System Restore is standing by, the disk is low on space.");
      case platform::kErrorBadEnvironment:
        return NotCreated("safe-mode", "No restore point: Windows is running in safe mode.");
      case platform::kErrorTimeout:
        return NotCreated("busy", "No restore point: another program is making one; try again in a moment.");
      default:
        return NotCreated("failed",
                          "No restore point: System Restore failed (error " + std::to_string(call.error) + ").");
    }
  }
  for (const platform::RestorePointInfo& point : before.points) {
    if (point.sequence == call.sequence) {
      return NotCreated("recent", "No new restore point: Windows makes one a day at most, and restore point " +
                                      std::to_string(point.sequence) + " was made on " + ShownTime(point.created) +
                                      ".");
    }
  }
  RestorePointOutcome outcome{
      true, "created",
      "Restore point " + std::to_string(call.sequence) + " made: \"" + std::string(description) + "\".", call.sequence};
  if (!before.known) outcome.text += " (Windows may have kept a point it made today instead.)";
  return outcome;
}

std::string WriteRestorePointMessage(const RestorePointOutcome& outcome) {
  return std::string("{\"type\":\"restore-point\",\"created\":") + (outcome.created ? "true" : "false") +
         ",\"reason\":" + JsonQuote(outcome.reason) + ",\"text\":" + JsonQuote(outcome.text) + "}";
}
