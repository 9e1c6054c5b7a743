#include "platform/win32/system_library.h"

namespace platform {

FARPROC SystemLibraryFunction(const wchar_t* dll, const char* name) {
  HMODULE module = LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  return module != nullptr ? GetProcAddress(module, name) : nullptr;
}

}  // namespace platform
