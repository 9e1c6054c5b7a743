// Stand-in facts: the Windows folders as Wine lays them out (a child reached
// through Wine gets the real ones), the user's identifier made from the uid
// as the other stand-ins make it, and $TMPDIR.
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/environment.h"
#include "platform/text.h"

namespace platform {

std::u16string WindowsDirectory() { return u"C:\\windows"; }
std::u16string SystemDirectory() { return u"C:\\windows\\system32"; }

std::u16string UserSid() {
  const uid_t uid = geteuid();
  return uid == 0 ? u"S-1-5-32-544" : Utf8ToUtf16("S-1-5-21-0-0-0-" + std::to_string(uid));
}

std::u16string TemporaryDirectory() {
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = tmp && *tmp ? tmp : "/tmp";
  if (dir.back() != '/') dir += '/';
  return Utf8ToUtf16(dir);
}

}  // namespace platform
