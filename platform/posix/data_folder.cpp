#include "platform/data_folder.h"

#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "platform/text.h"

namespace platform {

// ProgramData stands in as $TMPDIR (default /tmp).
std::u16string AdministratorsDataFolder() {
  const char* temporary = std::getenv("TMPDIR");
  std::string folder = temporary != nullptr && *temporary != '\0' ? temporary : "/tmp";
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  folder += "/" + Utf16ToUtf8(kDataFolderName);
  struct stat info {};
  if (mkdir(folder.c_str(), 0700) != 0 && (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))) return {};
  return Utf8ToUtf16(folder + "/");
}

}  // namespace platform
