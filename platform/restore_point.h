#pragma once
// System Restore: marking the beginning and the end of a set of changes, so
// that Windows keeps a restore point from before them, and listing the points
// it keeps. Absent (as under Wine, or on a server) it reports kUnavailable.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct RestorePointCall {
  enum class Status { kDone, kUnavailable, kFailed };
  Status status = Status::kUnavailable;
  uint32_t error = 0;    // when kFailed: the status System Restore gave (ERROR_SERVICE_DISABLED, ...)
  int64_t sequence = 0;  // when kDone: the number of the restore point
};

// BEGIN_SYSTEM_CHANGE of a MODIFY_SETTINGS restore point, through
// SRSetRestorePointW of srclient.dll loaded from the system folder only. A
// refusal without a status (Wine's stand-in gives one) is kUnavailable.
// Windows may answer kDone with the number of a point it made earlier instead
// of making one (by default, when one is less than 24 hours old).
RestorePointCall BeginSystemChange(std::u16string_view description);
// END_SYSTEM_CHANGE of the point BeginSystemChange numbered.
RestorePointCall EndSystemChange(int64_t sequence);

// The restore points Windows keeps (WMI's SystemRestore class); `known` is
// false when they cannot be listed.
struct RestorePointInfo {
  int64_t sequence = 0;
  std::u16string created;  // as WMI writes a time: "yyyymmddHHMMSS.mmmmmm+UUU"
};
struct RestorePointList {
  bool known = false;
  std::vector<RestorePointInfo> points;
};
RestorePointList ListRestorePoints();

// Lets System Restore's services (LocalService, NetworkService, SYSTEM) call
// back into this process, as SRSetRestorePointW needs. Once, at start-up,
// before any COM object is used across apartments; false when the process's
// COM security was set already.
bool AllowSystemRestoreCallbacks();

// The error numbers BeginSystemChange reports, as Windows numbers them.
inline constexpr uint32_t kErrorServiceDisabled = 1058;  // System Restore is off
inline constexpr uint32_t kErrorDiskFull = 112;          // standing by for lack of space
inline constexpr uint32_t kErrorBadEnvironment = 10;     // safe mode
inline constexpr uint32_t kErrorTimeout = 1460;          // another program is setting a restore point

}  // namespace platform
