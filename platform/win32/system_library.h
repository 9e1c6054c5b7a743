#pragma once
// Functions of Windows DLLs that are not KnownDLLs (dwmapi, dxgi, ...), loaded
// from System32 only: never from the program's folder or the current
// directory, where an unelevated process could have put a DLL of that name.
// The program imports such DLLs this way instead of at load time.

#include <windows.h>

namespace platform {

// The exported function `name` of the System32 DLL `dll`; null when either is
// missing. The DLL stays loaded for the life of the process.
FARPROC SystemLibraryFunction(const wchar_t* dll, const char* name);

template <typename Function>
Function SystemFunction(const wchar_t* dll, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(SystemLibraryFunction(dll, name)));
}

}  // namespace platform
