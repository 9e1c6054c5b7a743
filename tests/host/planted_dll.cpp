// A DLL that an unelevated process could put beside the program under the
// name of a system DLL that is no KnownDLL (dwmapi.dll, dxgi.dll,
// winhttp.dll). It exports what the program would take from those, and when
// loaded leaves a file named after itself, "<name>.loaded", in the folder
// that QF_PLANTED_MARKERS names.

#include <windows.h>

#include <string>

extern "C" __declspec(dllexport) HRESULT WINAPI DwmSetWindowAttribute(HWND, DWORD, LPCVOID, DWORD) { return E_NOTIMPL; }

extern "C" __declspec(dllexport) HRESULT WINAPI CreateDXGIFactory(REFIID, void** factory) {
  if (factory != nullptr) *factory = nullptr;
  return E_NOTIMPL;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t path[MAX_PATH] = {};
  wchar_t folder[MAX_PATH] = {};
  if (GetModuleFileNameW(instance, path, MAX_PATH) == 0 ||
      GetEnvironmentVariableW(L"QF_PLANTED_MARKERS", folder, MAX_PATH) == 0) {
    return TRUE;
  }
  const std::wstring file(path);
  const std::wstring marker = std::wstring(folder) + L"\\" + file.substr(file.find_last_of(L"\\/") + 1) + L".loaded";
  HANDLE handle = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  return TRUE;
}
