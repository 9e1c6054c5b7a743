#include "platform/system_state.h"

#include <windows.h>

#include <shlobj.h>
#include <taskschd.h>

#include <cwchar>
#include <memory>
#include <type_traits>

namespace platform {

namespace {

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
std::u16string Narrow16(const wchar_t* text, size_t length) { return std::u16string(text, text + length); }

struct ServiceHandleCloser {
  void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
using ServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceHandleCloser>;

// One connection to the service control manager for the life of the process:
// every ask would otherwise open one, and each open is a round trip.
SC_HANDLE ServiceManager() {
  static const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE);
  return manager;
}

template <typename T>
void Release(T*& object) {
  if (object != nullptr) object->Release();
  object = nullptr;
}

}  // namespace

WindowsVersion RunningWindowsVersion() {
  // RtlGetVersion reports the real version; GetVersionEx is bound to what the
  // manifest declares.
  using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  const auto rtlGetVersion =
      ntdll == nullptr
          ? nullptr
          : reinterpret_cast<RtlGetVersionFunction>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (rtlGetVersion == nullptr || rtlGetVersion(&info) != 0) return {};
  return {info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber};
}

ServiceStart ServiceStartType(std::u16string_view name) {
  ServiceStart result;
  if (ServiceManager() == nullptr) return result;
  const ServiceHandle service(OpenServiceW(ServiceManager(), Wide(name).c_str(), SERVICE_QUERY_CONFIG));
  if (!service) {
    if (GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) result.status = ServiceStart::Status::kNotInstalled;
    return result;
  }
  // The largest configuration is 8 KB; one call reads it.
  constexpr DWORD kConfigBytes = 8 * 1024;
  std::unique_ptr<BYTE[]> buffer(new BYTE[kConfigBytes]);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.get());
  DWORD needed = 0;
  if (!QueryServiceConfigW(service.get(), config, kConfigBytes, &needed)) return result;
  result.status = ServiceStart::Status::kFound;
  result.startType = config->dwStartType;
  return result;
}

std::optional<std::vector<std::u16string>> ServiceNames() {
  if (ServiceManager() == nullptr) return std::nullopt;
  std::vector<std::u16string> names;
  DWORD resume = 0;
  while (true) {
    DWORD needed = 0;
    DWORD count = 0;
    std::unique_ptr<BYTE[]> buffer(new BYTE[64 * 1024]);
    const BOOL done = EnumServicesStatusExW(ServiceManager(), SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL,
                                            buffer.get(), 64 * 1024, &needed, &count, &resume, nullptr);
    if (!done && GetLastError() != ERROR_MORE_DATA) return std::nullopt;
    const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.get());
    for (DWORD i = 0; i < count; ++i)
      names.push_back(Narrow16(entries[i].lpServiceName, wcslen(entries[i].lpServiceName)));
    if (done) return names;
  }
}

struct TaskScheduler {
  ITaskService* service = nullptr;
  bool uninitialize = false;  // this connection initialised COM on its thread
};

std::shared_ptr<TaskScheduler> ConnectTaskScheduler() {
  auto scheduler = std::shared_ptr<TaskScheduler>(new TaskScheduler, [](TaskScheduler* done) {
    Release(done->service);
    if (done->uninitialize) CoUninitialize();
    delete done;
  });
  // A thread already in an apartment of either kind serves as it is.
  scheduler->uninitialize = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
  VARIANT none{};
  none.vt = VT_EMPTY;
  if (FAILED(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                              reinterpret_cast<void**>(&scheduler->service))) ||
      FAILED(scheduler->service->Connect(none, none, none, none))) {
    return nullptr;
  }
  return scheduler;
}

TaskFolder ScheduledTasksIn(TaskScheduler* scheduler, std::u16string_view folder) {
  TaskFolder result;
  if (scheduler == nullptr) return result;
  ITaskFolder* taskFolder = nullptr;
  IRegisteredTaskCollection* tasks = nullptr;
  if (folder.size() > 1 && folder.back() == u'\\') folder.remove_suffix(1);
  BSTR path = SysAllocString(Wide(folder).c_str());
  const HRESULT opened = scheduler->service->GetFolder(path, &taskFolder);
  if (opened == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || opened == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)) {
    result.status = TaskFolder::Status::kMissing;
  } else if (SUCCEEDED(opened) && SUCCEEDED(taskFolder->GetTasks(TASK_ENUM_HIDDEN, &tasks))) {
    LONG count = 0;
    bool complete = SUCCEEDED(tasks->get_Count(&count));
    for (LONG i = 1; complete && i <= count; ++i) {
      VARIANT index{};
      index.vt = VT_I4;
      index.lVal = i;
      IRegisteredTask* task = nullptr;
      BSTR name = nullptr;
      VARIANT_BOOL enabled = VARIANT_FALSE;
      complete = SUCCEEDED(tasks->get_Item(index, &task)) && SUCCEEDED(task->get_Name(&name)) &&
                 SUCCEEDED(task->get_Enabled(&enabled));
      if (complete) result.tasks.push_back({Narrow16(name, SysStringLen(name)), enabled != VARIANT_FALSE});
      SysFreeString(name);
      Release(task);
    }
    if (complete) result.status = TaskFolder::Status::kFound;
  }
  Release(tasks);
  Release(taskFolder);
  SysFreeString(path);
  return result;
}

std::optional<bool> PackageFamilyInstalled(std::u16string_view family) {
  // From Windows 8.1 on; looked up so that the program starts without it.
  using GetPackagesFunction = LONG(WINAPI*)(PCWSTR, UINT32*, PWSTR*, UINT32*, WCHAR*);
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const auto getPackages = kernel == nullptr ? nullptr
                                             : reinterpret_cast<GetPackagesFunction>(reinterpret_cast<void*>(
                                                   GetProcAddress(kernel, "GetPackagesByPackageFamily")));
  if (getPackages == nullptr) return std::nullopt;
  UINT32 count = 0;
  UINT32 length = 0;
  const LONG status = getPackages(Wide(family).c_str(), &count, nullptr, &length, nullptr);
  if (status == ERROR_SUCCESS) return count > 0;
  if (status == ERROR_INSUFFICIENT_BUFFER) return true;
  return std::nullopt;
}

std::optional<std::string> ReadSmallFile(const std::u16string& path, size_t maxBytes) {
  const HANDLE file =
      CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  LARGE_INTEGER size{};
  std::optional<std::string> content;
  if (GetFileSizeEx(file, &size) && size.QuadPart >= 0 && static_cast<uint64_t>(size.QuadPart) <= maxBytes) {
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (bytes.empty() ||
        (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) && read == bytes.size())) {
      content = std::move(bytes);
    }
  }
  CloseHandle(file);
  return content;
}

std::u16string HostsFilePath() {
  wchar_t system[MAX_PATH];
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return Narrow16(system, length) + u"\\drivers\\etc\\hosts";
}

std::u16string RoamingAppDataFolder() {
  PWSTR folder = nullptr;
  std::u16string result;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_DEFAULT, nullptr, &folder))) {
    result = Narrow16(folder, wcslen(folder));
  }
  CoTaskMemFree(folder);
  return result;
}

std::u16string ExpandEnvironment(std::u16string_view text) {
  const std::wstring source = Wide(text);
  std::wstring expanded(256, L'\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    const DWORD needed =
        ExpandEnvironmentStringsW(source.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
    if (needed == 0) return std::u16string(text);
    if (needed <= expanded.size()) return Narrow16(expanded.c_str(), needed - 1);
    expanded.resize(needed);
  }
  return std::u16string(text);
}

}  // namespace platform
