#include "platform/data_folder.h"

namespace platform {

// No administrators' folder here.
std::u16string AdministratorsDataFolder() { return {}; }

}  // namespace platform
