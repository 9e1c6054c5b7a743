#include "platform/system_state.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "platform/text.h"

namespace platform {

// No Windows here: no services, tasks or packages, and a version of zeros, so
// that every guarded step counts as not for this system.
WindowsVersion RunningWindowsVersion() { return {}; }

ServiceStart ServiceStartType(std::u16string_view) { return {ServiceStart::Status::kNotInstalled, 0}; }

std::optional<std::vector<std::u16string>> ServiceNames() { return std::vector<std::u16string>{}; }

struct TaskScheduler {};

std::shared_ptr<TaskScheduler> ConnectTaskScheduler() { return std::make_shared<TaskScheduler>(); }

TaskFolder ScheduledTasksIn(TaskScheduler*, std::u16string_view) { return {TaskFolder::Status::kMissing, {}}; }

std::optional<bool> PackageFamilyInstalled(std::u16string_view) { return false; }

std::optional<std::string> ReadSmallFile(const std::u16string& path, size_t maxBytes) {
  std::ifstream in(Utf16ToUtf8(path), std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad() || bytes.size() > maxBytes) return std::nullopt;
  return bytes;
}

std::optional<bool> FileExists(const std::u16string& path) {
  struct stat info {};
  if (lstat(Utf16ToUtf8(path).c_str(), &info) == 0) return true;
  if (errno == ENOENT || errno == ENOTDIR) return false;
  return std::nullopt;
}

std::u16string HostsFilePath() { return u"/etc/hosts"; }

std::u16string RoamingAppDataFolder() { return {}; }

// Stands in as $TMPDIR (default /tmp).
std::u16string LocalAppDataFolder() {
  const char* temporary = std::getenv("TMPDIR");
  std::string folder = temporary != nullptr && *temporary != '\0' ? temporary : "/tmp";
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return Utf8ToUtf16(folder);
}

std::u16string ExpandEnvironment(std::u16string_view text) { return std::u16string(text); }

}  // namespace platform

namespace platform {

// No services or tasks here to change.
uint32_t SetServiceStart(std::u16string_view, uint32_t, bool) { return 1060; }  // ERROR_SERVICE_DOES_NOT_EXIST

uint32_t SetScheduledTaskEnabled(TaskScheduler*, std::u16string_view, std::u16string_view, bool) {
  return 2;  // ERROR_FILE_NOT_FOUND
}

}  // namespace platform
