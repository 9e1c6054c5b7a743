#include "platform/system_state.h"

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

std::u16string HostsFilePath() { return u"/etc/hosts"; }

std::u16string RoamingAppDataFolder() { return {}; }

std::u16string ExpandEnvironment(std::u16string_view text) { return std::u16string(text); }

}  // namespace platform
