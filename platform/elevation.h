#pragma once

namespace platform {

// True when the process token is elevated; false also when it cannot be read.
bool ProcessTokenIsElevated();

}  // namespace platform
