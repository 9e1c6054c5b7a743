#pragma once
// Read-only facts of the running system that the state check compares against:
// the Windows version, service start types, scheduled tasks, installed app
// packages, and small files. Each reports plainly when it cannot tell.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct WindowsVersion {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
};

// The version the system reports of itself, whatever the program's manifest
// says; zeros when it cannot be read.
WindowsVersion RunningWindowsVersion();

// Start types as the service control manager numbers them.
inline constexpr uint32_t kServiceDisabled = 4;

// The start type of an installed service; nothing when it is not installed.
// kUnreadable: the service control manager could not be asked.
struct ServiceStart {
  enum class Status { kFound, kNotInstalled, kUnreadable } status = Status::kUnreadable;
  uint32_t startType = 0;
};
ServiceStart ServiceStartType(std::u16string_view name);

// The names of every installed service (drivers left out); nothing when the
// service control manager cannot list them.
std::optional<std::vector<std::u16string>> ServiceNames();

struct ScheduledTask {
  std::u16string name;
  bool enabled = false;
};

// One connection to the Task Scheduler for a number of lookups: connecting
// costs far more than a lookup. Opened, used and released on one thread; null
// when the Task Scheduler cannot be reached.
struct TaskScheduler;
std::shared_ptr<TaskScheduler> ConnectTaskScheduler();

// The tasks directly in a Task Scheduler folder ("\Microsoft\Windows\Maps\"),
// hidden ones included.
struct TaskFolder {
  enum class Status { kFound, kMissing, kUnreadable } status = Status::kUnreadable;
  std::vector<ScheduledTask> tasks;
};
TaskFolder ScheduledTasksIn(TaskScheduler* scheduler, std::u16string_view folder);

// Whether a package of the family (NAME_PUBLISHERID) is installed for the
// current user; nothing when the system cannot tell.
std::optional<bool> PackageFamilyInstalled(std::u16string_view family);

// Up to `maxBytes` of a file; nothing when it is missing, larger, or unreadable.
std::optional<std::string> ReadSmallFile(const std::u16string& path, size_t maxBytes);

// The hosts file and the current user's roaming application data folder, from
// the system's own locations (never from environment variables, which the
// user sets); empty on failure.
std::u16string HostsFilePath();
std::u16string RoamingAppDataFolder();

// `text` with %NAME% replaced as the process's environment has it.
std::u16string ExpandEnvironment(std::u16string_view text);

}  // namespace platform
