#include "platform/elevation.h"

#include <unistd.h>

namespace platform {

bool ProcessTokenIsElevated() { return geteuid() == 0; }

}  // namespace platform
