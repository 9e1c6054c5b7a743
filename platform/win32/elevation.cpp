#include "platform/elevation.h"

#include <windows.h>

namespace platform {

bool ProcessTokenIsElevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation{};
  DWORD size = sizeof elevation;
  if (!GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size)) elevation.TokenIsElevated = 0;
  CloseHandle(token);
  return elevation.TokenIsElevated != 0;
}

}  // namespace platform
