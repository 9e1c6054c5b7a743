#pragma once
// Facts of the running system that the state check compares against: the
// Windows version, service start types, scheduled tasks, installed app
// packages, and small files; each reports plainly when it cannot tell. Undo
// sets service start types and task states back.

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

// The start type of an installed service, and whether an automatic start
// waits until after boot; nothing when it is not installed. kUnreadable: the
// service control manager could not be asked.
struct ServiceStart {
  enum class Status { kFound, kNotInstalled, kUnreadable } status = Status::kUnreadable;
  uint32_t startType = 0;
  bool delayed = false;
};
ServiceStart ServiceStartType(std::u16string_view name);

// The names of every installed service (drivers left out); nothing when the
// service control manager cannot list them.
std::optional<std::vector<std::u16string>> ServiceNames();

struct ScheduledTask {
  std::u16string name;
  bool enabled = false;
  bool operator==(const ScheduledTask&) const = default;
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
// Whether anything exists under the path; nothing when that cannot be told.
std::optional<bool> FileExists(const std::u16string& path);

// The hosts file and the current user's roaming application data folder, from
// the system's own locations (never from environment variables, which the
// user sets); empty on failure.
std::u16string HostsFilePath();
std::u16string RoamingAppDataFolder();
// The current user's local application data folder, the same way.
std::u16string LocalAppDataFolder();

// Changing what the functions above read; each answers 0 on success and the
// system's error code otherwise.

// Sets the service's start type, and whether an automatic start waits until
// after boot, through the service control manager.
uint32_t SetServiceStart(std::u16string_view name, uint32_t startType, bool delayed);

// Enables or disables the task `name` in a Task Scheduler folder.
uint32_t SetScheduledTaskEnabled(TaskScheduler* scheduler, std::u16string_view folder, std::u16string_view name,
                                 bool enabled);

// `text` with %NAME% replaced as the process's environment has it.
std::u16string ExpandEnvironment(std::u16string_view text);

}  // namespace platform
