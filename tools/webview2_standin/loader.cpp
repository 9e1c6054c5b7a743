// The loader's export, the log, the timers and the environment object.
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <map>
#include <mutex>
#include <utility>

#include "tools/webview2_standin/standin.h"

namespace standin {

namespace {

DWORD g_uiThread = 0;
std::mutex g_logMutex;
std::map<UINT_PTR, std::function<void()>> g_scheduled;

void CALLBACK RunScheduled(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  const auto found = g_scheduled.find(timer);
  if (found == g_scheduled.end()) return;
  std::function<void()> action = std::move(found->second);
  g_scheduled.erase(found);
  action();
}

struct Environment {
  ICoreWebView2Environment iface;
  ULONG references = 1;
};

Environment* From(ICoreWebView2Environment* iface) { return reinterpret_cast<Environment*>(iface); }

HRESULT STDMETHODCALLTYPE EnvironmentQueryInterface(ICoreWebView2Environment* self, REFIID iid, void** out) {
  if (IsEqualIID(iid, __uuidof(IUnknown)) || IsEqualIID(iid, __uuidof(ICoreWebView2Environment))) {
    ++From(self)->references;
    *out = self;
    return S_OK;
  }
  Log("Environment.QueryInterface refused");
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE EnvironmentAddRef(ICoreWebView2Environment* self) { return ++From(self)->references; }

ULONG STDMETHODCALLTYPE EnvironmentRelease(ICoreWebView2Environment* self) {
  const ULONG left = --From(self)->references;
  if (left == 0) {
    Log("Environment destroyed");
    delete From(self);
  }
  return left;
}

// What the test reads about the window the web view is put into.
std::string DescribeWindow(HWND window) {
  wchar_t className[256] = {};
  wchar_t title[256] = {};
  GetClassNameW(window, className, 256);
  GetWindowTextW(window, title, 256);
  RECT outer{};
  GetWindowRect(window, &outer);
  const bool bigIcon = SendMessageW(window, WM_GETICON, ICON_BIG, 0) != 0;
  const bool smallIcon = SendMessageW(window, WM_GETICON, ICON_SMALL, 0) != 0;
  // The title comes last: it is the only value with spaces.
  return "style=" + Hex(static_cast<unsigned long>(GetWindowLongPtrW(window, GWL_STYLE))) +
         " exstyle=" + Hex(static_cast<unsigned long>(GetWindowLongPtrW(window, GWL_EXSTYLE))) +
         " rect=" + std::to_string(outer.left) + "," + std::to_string(outer.top) + "," +
         std::to_string(outer.right - outer.left) + "," + std::to_string(outer.bottom - outer.top) +
         " screen=" + std::to_string(GetSystemMetrics(SM_CXSCREEN)) + "," +
         std::to_string(GetSystemMetrics(SM_CYSCREEN)) + " visible=" + std::to_string(IsWindowVisible(window) != 0) +
         " bigicon=" + std::to_string(bigIcon) + " smallicon=" + std::to_string(smallIcon) +
         " class=" + Utf8(className) + " title=" + Utf8(title);
}

HRESULT STDMETHODCALLTYPE CreateController(ICoreWebView2Environment*, HWND parent,
                                           ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) {
  Log("Environment.CreateCoreWebView2Controller " + DescribeWindow(parent));
  if (handler == nullptr) return E_INVALIDARG;
  handler->AddRef();
  Schedule(20, [parent, handler] {
    HRESULT result;
    if (Failing("controller")) {
      result = handler->Invoke(E_FAIL, nullptr);
    } else {
      ICoreWebView2Controller* controller = NewController(parent);
      result = handler->Invoke(S_OK, controller);
      controller->Release();
    }
    Log("ControllerCompletedHandler.Invoke returned " + Hex(result));
    Log("ControllerCompletedHandler.Release -> " + std::to_string(handler->Release()));
  });
  return S_OK;
}

// The WEBVIEW2_* variables of this process, "NAME=VALUE" joined by spaces, or
// "none": the real loader reads them before its arguments.
std::string WebViewVariables() {
  std::string found;
  if (wchar_t* block = GetEnvironmentStringsW()) {
    for (const wchar_t* entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
      if (_wcsnicmp(entry, L"WEBVIEW2_", 9) != 0) continue;
      if (!found.empty()) found += ' ';
      found += Utf8(entry);
    }
    FreeEnvironmentStringsW(block);
  }
  return found.empty() ? "none" : found;
}

// The real loader loads a system DLL that is no KnownDLL by name (version.dll,
// to read the runtime's version); the stand-in does the same and says where
// the DLL came from. It asks for winhttp.dll, since under Wine version.dll is
// already mapped by Wine's own user32 before the program runs.
std::string LibraryByName() {
  HMODULE module = LoadLibraryW(L"winhttp.dll");
  if (module == nullptr) return "(not loaded)";
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(module, path, MAX_PATH);
  return Utf8(path);
}

}  // namespace

void Log(const std::string& line) {
  const std::string path = Variable("QF_WV2_LOG");
  if (path.empty()) return;
  std::lock_guard lock(g_logMutex);
  if (FILE* file = std::fopen(path.c_str(), "ab")) {
    const bool other = g_uiThread != 0 && GetCurrentThreadId() != g_uiThread;
    std::fprintf(file, "%s%s\n", line.c_str(), other ? " [other thread]" : "");
    std::fclose(file);
  }
}

std::string Utf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length, nullptr, nullptr);
  return out;
}

std::string Utf8(LPCWSTR text) { return text == nullptr ? "(null)" : Utf8(std::wstring_view(text)); }

std::string Hex(unsigned long value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", value);
  return text;
}

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

bool Failing(std::string_view what) {
  const std::string failures = Variable("QF_WV2_FAIL");
  for (size_t start = 0; start <= failures.size();) {
    const size_t end = std::min(failures.find(',', start), failures.size());
    if (std::string_view(failures).substr(start, end - start) == what) return true;
    start = end + 1;
  }
  return false;
}

void Schedule(UINT delayMs, std::function<void()> action) {
  const UINT_PTR timer = SetTimer(nullptr, 0, delayMs, &RunScheduled);
  if (timer == 0) {
    Log("stand-in: SetTimer failed");
    return;
  }
  g_scheduled[timer] = std::move(action);
}

ICoreWebView2Environment* NewEnvironment() {
  static constexpr ICoreWebView2EnvironmentVtbl kVtbl = {&EnvironmentQueryInterface, &EnvironmentAddRef,
                                                         &EnvironmentRelease, &CreateController};
  return &(new Environment{{&kVtbl}})->iface;
}

}  // namespace standin

using namespace standin;

extern "C" __declspec(dllexport) HRESULT STDMETHODCALLTYPE
    CreateCoreWebView2EnvironmentWithOptions(PCWSTR browserExecutableFolder, PCWSTR userDataFolder,
                                             ICoreWebView2EnvironmentOptions* environmentOptions,
                                             ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
  g_uiThread = GetCurrentThreadId();
  APTTYPE apartment{};
  APTTYPEQUALIFIER qualifier{};
  const HRESULT apartmentResult = CoGetApartmentType(&apartment, &qualifier);
  const bool singleThreaded = SUCCEEDED(apartmentResult) && (apartment == APTTYPE_STA || apartment == APTTYPE_MAINSTA);
  Log("CreateCoreWebView2EnvironmentWithOptions browserFolder=" + Utf8(browserExecutableFolder) +
      " userDataFolder=" + Utf8(userDataFolder) + " options=" + (environmentOptions ? "set" : "(null)") +
      " handler=" + (handler ? "set" : "(null)") + " apartment=" + (singleThreaded ? "STA" : "not-STA"));
  Log("Loader environment: " + WebViewVariables());
  Log("Loader winhttp.dll: " + LibraryByName());
  // The real loader needs a single-threaded apartment on the calling thread.
  if (!singleThreaded) return SUCCEEDED(apartmentResult) ? RPC_E_CHANGED_MODE : CO_E_NOTINITIALIZED;
  if (Failing("loader")) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  if (handler == nullptr) return E_INVALIDARG;
  handler->AddRef();
  Schedule(20, [handler] {
    HRESULT result;
    if (Failing("environment")) {
      result = handler->Invoke(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), nullptr);
    } else {
      ICoreWebView2Environment* environment = NewEnvironment();
      result = handler->Invoke(S_OK, environment);
      environment->Release();
    }
    Log("EnvironmentCompletedHandler.Invoke returned " + Hex(result));
    Log("EnvironmentCompletedHandler.Release -> " + std::to_string(handler->Release()));
  });
  return S_OK;
}
