#pragma once
// The program's folder under %ProgramData%, which only administrators can
// write: for files an elevated run must not let an unelevated process change
// (the journal).

#include <string>

namespace platform {

inline constexpr char16_t kDataFolderName[] = u"Quarnfeld Optimizer";

// The folder's path, ending in a separator; empty when no trusted folder can be
// had (unelevated, or the name is taken by anything but a plain directory that
// only the Administrators group, SYSTEM and the system folder's owner own and
// may enter).
std::u16string AdministratorsDataFolder();

}  // namespace platform
