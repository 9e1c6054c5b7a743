#include "platform/processes.h"

#include <windows.h>

#include <string>

namespace platform {
namespace {

HANDLE H(Handle h) { return reinterpret_cast<HANDLE>(h); }
Handle Of(HANDLE h) { return reinterpret_cast<Handle>(h); }
const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

constexpr DWORD kPipeBytes = 64 * 1024;
constexpr DWORD kTreeEndMs = 5000;

// A job that ends every process in it when its last handle is closed.
HANDLE CreateKillOnCloseJob() {
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (job == nullptr) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    CloseHandle(job);
    return nullptr;
  }
  return job;
}

}  // namespace

uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

OutputPipe CreateOutputPipe() {
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  if (!CreatePipe(&read, &write, &inheritable, kPipeBytes)) return {};
  // Only the child's end may be inherited.
  if (!SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0)) {
    CloseHandle(read);
    CloseHandle(write);
    return {};
  }
  return {Of(read), Of(write)};
}

size_t ReadOutput(Handle read, char* buffer, size_t capacity) {
  DWORD got = 0;
  const DWORD ask = capacity > MAXDWORD ? MAXDWORD : static_cast<DWORD>(capacity);
  if (!ReadFile(H(read), buffer, ask, &got, nullptr)) return 0;
  return got;
}

StartedProcess StartHiddenProcess(const ProcessStart& start) {
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE input =
      CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0, nullptr);
  if (input == INVALID_HANDLE_VALUE) return {};
  HANDLE job = CreateKillOnCloseJob();
  if (job == nullptr) {
    CloseHandle(input);
    return {};
  }

  // The child inherits exactly its standard handles, whatever else this
  // process has made inheritable meanwhile.
  HANDLE inherited[2] = {input, H(start.output)};
  SIZE_T listBytes = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &listBytes);
  std::string listBuffer(listBytes, '\0');
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listBuffer.data());
  const bool listReady = InitializeProcThreadAttributeList(list, 1, 0, &listBytes) &&
                         UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                                   sizeof inherited, nullptr, nullptr);

  STARTUPINFOEXW si{};
  si.StartupInfo.cb = sizeof si;
  si.StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  si.StartupInfo.wShowWindow = SW_HIDE;
  si.StartupInfo.hStdInput = input;
  si.StartupInfo.hStdOutput = H(start.output);
  si.StartupInfo.hStdError = H(start.output);
  si.lpAttributeList = list;
  std::wstring commandLine(W(start.commandLine), start.commandLine.size());
  std::wstring environment(W(start.environment), start.environment.size());
  environment.push_back(L'\0');  // a block that is empty still ends in two NULs
  PROCESS_INFORMATION pi{};
  // Suspended until it is in the job, so that nothing it starts escapes it.
  const bool created = listReady && CreateProcessW(W(start.application), commandLine.data(), nullptr, nullptr, TRUE,
                                                   CREATE_NO_WINDOW | CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT |
                                                       EXTENDED_STARTUPINFO_PRESENT,
                                                   environment.data(), W(start.currentDirectory), &si.StartupInfo, &pi);
  if (listReady) DeleteProcThreadAttributeList(list);
  CloseHandle(input);
  if (!created) {
    CloseHandle(job);
    return {};
  }
  if (!AssignProcessToJobObject(job, pi.hProcess) || ResumeThread(pi.hThread) == static_cast<DWORD>(-1)) {
    TerminateProcess(pi.hProcess, 1);
    WaitForSingleObject(pi.hProcess, kTreeEndMs);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    CloseHandle(job);
    return {};
  }
  CloseHandle(pi.hThread);
  return {Of(pi.hProcess), Of(job)};
}

ProcessWait WaitForProcess(Handle process, uint32_t timeoutMs) {
  const DWORD waited = WaitForSingleObject(H(process), timeoutMs);
  if (waited == WAIT_TIMEOUT) return {WaitResult::TimedOut, 0};
  DWORD code = 0;
  if (waited != WAIT_OBJECT_0 || !GetExitCodeProcess(H(process), &code)) return {WaitResult::Failed, 0};
  return {WaitResult::Exited, code};
}

bool EndProcessTree(const StartedProcess& started) {
  TerminateJobObject(H(started.job), 1);
  const ULONGLONG deadline = GetTickCount64() + kTreeEndMs;
  for (DWORD pause = 0;; pause = pause < 16 ? pause + 1 : 16) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
    if (!QueryInformationJobObject(H(started.job), JobObjectBasicAccountingInformation, &accounting, sizeof accounting,
                                   nullptr)) {
      return false;
    }
    if (accounting.ActiveProcesses == 0) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(pause);
  }
}

void ReleaseProcess(const StartedProcess& started) {
  if (started.process) CloseHandle(H(started.process));
  if (started.job) CloseHandle(H(started.job));
}

}  // namespace platform
