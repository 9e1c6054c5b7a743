#include "platform/restore_point.h"

namespace platform {

// There is no System Restore here.
RestorePointCall BeginSystemChange(std::u16string_view) { return {}; }
RestorePointCall EndSystemChange(int64_t) { return {}; }
RestorePointList ListRestorePoints() { return {}; }
bool AllowSystemRestoreCallbacks() { return false; }

}  // namespace platform
