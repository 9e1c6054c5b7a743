#include "platform/machine.h"

#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <string_view>

#include "platform/text.h"

namespace platform {

namespace {

// The Windows calls fail for names of 256 units or more; so do these.
constexpr size_t kNameUnits = 256;

std::u16string FittingName(std::string_view utf8) {
  std::u16string name = Utf8ToUtf16(utf8);
  if (name.size() >= kNameUnits) return {};
  return name;
}

}  // namespace

// No graphics infrastructure here.
std::vector<DisplayAdapter> DisplayAdapters() { return {}; }

std::u16string UserName() {
  passwd entry{};
  passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(geteuid(), &entry, buffer, sizeof buffer, &found) != 0 || !found || !found->pw_name) return {};
  return FittingName(found->pw_name);
}

std::u16string ComputerName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return FittingName(name);
}

bool ProcessIsElevated() { return geteuid() == 0; }

}  // namespace platform
