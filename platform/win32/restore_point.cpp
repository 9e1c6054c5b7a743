#include "platform/restore_point.h"

#include <windows.h>

#include <aclapi.h>
#include <srrestoreptapi.h>
#include <wbemidl.h>

#include <algorithm>
#include <cwchar>

#include "platform/win32/system_library.h"

namespace platform {

namespace {

using SetRestorePointFunction = BOOL(WINAPI*)(PRESTOREPOINTINFOW, PSTATEMGRSTATUS);

SetRestorePointFunction SetRestorePoint() {
  return SystemFunction<SetRestorePointFunction>(L"srclient.dll", "SRSetRestorePointW");
}

RestorePointCall Call(DWORD eventType, int64_t sequence, std::u16string_view description) {
  RestorePointCall call;
  const SetRestorePointFunction setRestorePoint = SetRestorePoint();
  if (setRestorePoint == nullptr) return call;
  RESTOREPOINTINFOW info{};
  info.dwEventType = eventType;
  info.dwRestorePtType = MODIFY_SETTINGS;
  info.llSequenceNumber = sequence;
  const size_t length = std::min<size_t>(description.size(), MAX_DESC_W - 1);
  std::copy_n(description.begin(), length, info.szDescription);
  STATEMGRSTATUS status{};
  // System Restore answers through COM on this thread.
  const bool uninitialize = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
  const BOOL set = setRestorePoint(&info, &status);
  if (uninitialize) CoUninitialize();
  if (set) {
    call.status = RestorePointCall::Status::kDone;
    call.sequence = status.llSequenceNumber;
  } else if (status.nStatus != ERROR_SUCCESS) {
    call.status = RestorePointCall::Status::kFailed;
    call.error = status.nStatus;
  }
  return call;
}

template <typename T>
void Release(T*& object) {
  if (object != nullptr) object->Release();
  object = nullptr;
}

}  // namespace

RestorePointCall BeginSystemChange(std::u16string_view description) {
  return Call(BEGIN_SYSTEM_CHANGE, 0, description);
}

RestorePointCall EndSystemChange(int64_t sequence) { return Call(END_SYSTEM_CHANGE, sequence, {}); }

RestorePointList ListRestorePoints() {
  RestorePointList list;
  const bool uninitialize = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
  IWbemLocator* locator = nullptr;
  IWbemServices* services = nullptr;
  IEnumWbemClassObject* results = nullptr;
  BSTR space = SysAllocString(L"ROOT\\DEFAULT");
  BSTR language = SysAllocString(L"WQL");
  BSTR query = SysAllocString(L"SELECT SequenceNumber, CreationTime FROM SystemRestore");
  bool listed = SUCCEEDED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                           reinterpret_cast<void**>(&locator))) &&
                SUCCEEDED(locator->ConnectServer(space, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services)) &&
                SUCCEEDED(CoSetProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                            RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE)) &&
                SUCCEEDED(services->ExecQuery(language, query, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                              nullptr, &results));
  while (listed) {
    IWbemClassObject* point = nullptr;
    ULONG returned = 0;
    const HRESULT next = results->Next(static_cast<LONG>(WBEM_INFINITE), 1, &point, &returned);
    if (next == WBEM_S_FALSE || returned == 0) {
      listed = SUCCEEDED(next);
      break;
    }
    VARIANT sequence;
    VARIANT created;
    VariantInit(&sequence);
    VariantInit(&created);
    if (SUCCEEDED(point->Get(L"SequenceNumber", 0, &sequence, nullptr, nullptr)) &&
        SUCCEEDED(VariantChangeType(&sequence, &sequence, 0, VT_I8))) {
      RestorePointInfo info;
      info.sequence = sequence.llVal;
      if (SUCCEEDED(point->Get(L"CreationTime", 0, &created, nullptr, nullptr)) && created.vt == VT_BSTR) {
        info.created.assign(created.bstrVal, created.bstrVal + SysStringLen(created.bstrVal));
      }
      list.points.push_back(std::move(info));
    }
    VariantClear(&sequence);
    VariantClear(&created);
    Release(point);
  }
  list.known = listed;
  Release(results);
  Release(services);
  Release(locator);
  SysFreeString(query);
  SysFreeString(language);
  SysFreeString(space);
  if (uninitialize) CoUninitialize();
  return list;
}

bool AllowSystemRestoreCallbacks() {
  // CoInitializeSecurity takes an absolute security descriptor; the DACL lets
  // the caller's own identity and the service accounts in.
  static constexpr WELL_KNOWN_SID_TYPE kCallers[] = {WinBuiltinAdministratorsSid, WinLocalServiceSid,
                                                     WinNetworkServiceSid, WinSelfSid, WinLocalSystemSid};
  BYTE sids[std::size(kCallers)][SECURITY_MAX_SID_SIZE] = {};
  EXPLICIT_ACCESSW access[std::size(kCallers)] = {};
  for (size_t i = 0; i < std::size(kCallers); ++i) {
    DWORD size = SECURITY_MAX_SID_SIZE;
    if (!CreateWellKnownSid(kCallers[i], nullptr, sids[i], &size)) return false;
    access[i].grfAccessPermissions = COM_RIGHTS_EXECUTE | COM_RIGHTS_EXECUTE_LOCAL;
    access[i].grfAccessMode = SET_ACCESS;
    access[i].grfInheritance = NO_INHERITANCE;
    access[i].Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access[i].Trustee.TrusteeType = TRUSTEE_IS_GROUP;
    access[i].Trustee.ptstrName = reinterpret_cast<LPWSTR>(sids[i]);
  }
  PACL acl = nullptr;
  if (SetEntriesInAclW(static_cast<ULONG>(std::size(access)), access, nullptr, &acl) != ERROR_SUCCESS) return false;
  SECURITY_DESCRIPTOR descriptor{};
  // Owner and group are required: the Administrators group for both.
  const bool built = InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
                     SetSecurityDescriptorOwner(&descriptor, sids[0], FALSE) &&
                     SetSecurityDescriptorGroup(&descriptor, sids[0], FALSE) &&
                     SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
  const bool set = built && SUCCEEDED(CoInitializeSecurity(
                                &descriptor, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                                RPC_C_IMP_LEVEL_IDENTIFY, nullptr, EOAC_DISABLE_AAA | EOAC_NO_CUSTOM_MARSHAL, nullptr));
  // COM keeps its own copy of the descriptor.
  LocalFree(acl);
  return set;
}

}  // namespace platform
