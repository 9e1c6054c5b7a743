#include "platform/system_folders.h"

#include <array>

#include "platform/environment.h"
#include "platform/registry.h"

namespace platform {
namespace {

constexpr size_t kPathBytes = 2 * 1024;
constexpr std::u16string_view kProfileList = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr std::u16string_view kCurrentVersion = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool SameLetters(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::u16string Folder(std::u16string_view key, std::u16string_view value, std::u16string_view windows) {
  return ExpandSystemVariables(RegistryText(ReadMachineRegistryValue(key, value, kPathBytes)), windows);
}

}  // namespace

std::u16string RegistryText(const std::optional<std::string>& data) {
  if (!data || data->size() % 2 != 0) return {};
  std::u16string text(data->size() / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(static_cast<unsigned char>((*data)[2 * i]) |
                                    static_cast<unsigned char>((*data)[2 * i + 1]) << 8);
  }
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

std::u16string ExpandSystemVariables(std::u16string_view text, std::u16string_view windows) {
  if (windows.size() < 2 || windows[1] != u':') return {};
  const std::array<std::pair<std::u16string_view, std::u16string_view>, 3> known{{
      {u"%SystemDrive%", windows.substr(0, 2)},
      {u"%SystemRoot%", windows},
      {u"%windir%", windows},
  }};
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    if (text[i] != u'%') {
      out += text[i++];
      continue;
    }
    bool replaced = false;
    for (const auto& [name, value] : known) {
      if (SameLetters(text.substr(i, name.size()), name)) {
        out += value;
        i += name.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) return {};
  }
  return out;
}

std::u16string ProgramDataFolder() { return Folder(kProfileList, u"ProgramData", WindowsDirectory()); }

SystemFolders ReadSystemFolders() {
  SystemFolders f;
  f.windows = WindowsDirectory();
  f.system = SystemDirectory();
  f.programData = Folder(kProfileList, u"ProgramData", f.windows);
  f.publicProfile = Folder(kProfileList, u"Public", f.windows);
  f.programFiles = Folder(kCurrentVersion, u"ProgramFilesDir", f.windows);
  f.programFilesX86 = Folder(kCurrentVersion, u"ProgramFilesDir (x86)", f.windows);
  f.commonFiles = Folder(kCurrentVersion, u"CommonFilesDir", f.windows);
  f.commonFilesX86 = Folder(kCurrentVersion, u"CommonFilesDir (x86)", f.windows);
  const std::u16string sid = UserSid();
  if (!sid.empty()) {
    f.profile = Folder(std::u16string(kProfileList) + u"\\" + sid, u"ProfileImagePath", f.windows);
  }
  return f;
}

}  // namespace platform
