// Sets a service's start type through the service control manager, as the
// disable-service step's Set-Service does (Wine's sc.exe cannot).
//   service_start.exe NAME START
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = manager == nullptr ? nullptr : OpenServiceW(manager, argv[1], SERVICE_CHANGE_CONFIG);
  const BOOL changed =
      service != nullptr &&
      ChangeServiceConfigW(service, SERVICE_NO_CHANGE, std::wcstoul(argv[2], nullptr, 10), SERVICE_NO_CHANGE, nullptr,
                           nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  if (service != nullptr) CloseServiceHandle(service);
  if (manager != nullptr) CloseServiceHandle(manager);
  return changed ? 0 : 1;
}
