// The administrators-only data folder: which folder found under its name is
// used, and what happens to one that is not (Wine keeps no security
// descriptors, so the decision is shown here, over scripted folders).
#include "platform/data_folder.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/system_folders.h"
#include "protocol/json_text.h"

namespace {

using platform::AccessEntry;
using platform::EntryKind;
using platform::FolderSecurity;

constexpr char16_t kAdmins[] = u"S-1-5-32-544";
constexpr char16_t kSystem[] = u"S-1-5-18";
constexpr char16_t kInstaller[] = u"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
constexpr char16_t kUser[] = u"S-1-5-21-1-2-3-1001";
constexpr char16_t kUsers[] = u"S-1-5-32-545";

AccessEntry Allow(const char16_t* sid) { return {AccessEntry::Type::Allow, sid}; }
AccessEntry Deny(const char16_t* sid) { return {AccessEntry::Type::Deny, sid}; }

FolderSecurity Ours() { return {EntryKind::Directory, kAdmins, true, {Allow(kAdmins), Allow(kSystem)}}; }

TEST(DataFolder, OnlyAPlainFolderOfAdministratorsIsTrusted) {
  struct Case {
    const char* what;
    FolderSecurity folder;
    bool trusted;
  };
  const std::vector<Case> cases = {
      {"as created", Ours(), true},
      {"owned by SYSTEM, a deny entry", {EntryKind::Directory, kSystem, true, {Allow(kAdmins), Deny(kUser)}}, true},
      {"owned by the system folder's owner", {EntryKind::Directory, kInstaller, true, {Allow(kInstaller)}}, true},
      {"made by a standard user",
       {EntryKind::Directory, kUser, true, {Allow(kAdmins), Allow(kSystem), Allow(kUser)}},
       false},
      {"handed to Administrators, but users may write",
       {EntryKind::Directory, kAdmins, true, {Allow(kAdmins), Allow(kUsers)}},
       false},
      {"a null DACL", {EntryKind::Directory, kAdmins, false, {}}, false},
      {"an entry of another kind", {EntryKind::Directory, kAdmins, true, {Allow(kAdmins), {}}}, false},
      {"a junction", {EntryKind::Link, kAdmins, true, {Allow(kAdmins)}}, false},
      {"a file", {EntryKind::File, kAdmins, true, {Allow(kAdmins)}}, false},
      {"unreadable", {EntryKind::Unreadable, {}, false, {}}, false},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::IsAdministratorsOnly(c.folder, kInstaller), c.trusted) << c.what;
  // With no system folder owner known, an empty owner is not taken for it.
  EXPECT_FALSE(platform::IsAdministratorsOnly({EntryKind::Directory, u"", true, {Allow(u"")}}, u""));
}

struct FakeFolders {
  std::vector<FolderSecurity> found;  // what each look finds, front to back; Missing afterwards
  bool createSucceeds = true;
  bool renameSucceeds = true;
  std::vector<std::string> events;

  platform::DataFolderSystem Ops() {
    return {[] { return std::u16string(u"C:\\ProgramData"); },
            [] { return std::u16string(kInstaller); },
            [this](const std::u16string& path) {
              events.push_back("look " + Utf16ToUtf8(path));
              FolderSecurity f{EntryKind::Missing, {}, false, {}};
              if (!found.empty()) {
                f = found.front();
                found.erase(found.begin());
              }
              return f;
            },
            [this](const std::u16string& path) {
              events.push_back("create " + Utf16ToUtf8(path));
              return createSucceeds;
            },
            [this](const std::u16string& from, const std::u16string& to) {
              events.push_back("rename " + Utf16ToUtf8(from) + " -> " + Utf16ToUtf8(to));
              return renameSucceeds;
            },
            [] { return uint64_t{0x5eed}; }};
  }
};

const std::string kFolder = "C:\\ProgramData\\Quarnfeld Optimizer";

TEST(DataFolder, TrustedFolderIsUsedAndAMissingOneCreated) {
  FakeFolders trusted{{Ours()}, true, true, {}};
  EXPECT_EQ(platform::AdministratorsDataFolderWith(trusted.Ops()), u"C:\\ProgramData\\Quarnfeld Optimizer\\");
  EXPECT_EQ(trusted.events, (std::vector<std::string>{"look " + kFolder}));

  FakeFolders missing;
  EXPECT_EQ(platform::AdministratorsDataFolderWith(missing.Ops()), u"C:\\ProgramData\\Quarnfeld Optimizer\\");
  EXPECT_EQ(missing.events, (std::vector<std::string>{"look " + kFolder, "create " + kFolder}));
}

TEST(DataFolder, AnyOtherFolderOrLinkIsMovedAsideUnopenedAndReplaced) {
  const FolderSecurity planted{EntryKind::Directory, kUser, true, {Allow(kUser)}};
  const FolderSecurity junction{EntryKind::Link, {}, false, {}};
  for (const FolderSecurity& found : {planted, junction}) {
    FakeFolders folders{{found}, true, true, {}};
    EXPECT_EQ(platform::AdministratorsDataFolderWith(folders.Ops()), u"C:\\ProgramData\\Quarnfeld Optimizer\\");
    EXPECT_EQ(folders.events,
              (std::vector<std::string>{"look " + kFolder,
                                        "rename " + kFolder + " -> " + kFolder + ".untrusted-0000000000005eed",
                                        "look " + kFolder, "create " + kFolder}));
  }
}

TEST(DataFolder, NoFolderWhenTheUntrustedOneStaysOrKeepsComingBack) {
  const FolderSecurity planted{EntryKind::Directory, kUser, true, {Allow(kUser)}};
  FakeFolders stuck{{planted}, true, true, {}};
  stuck.renameSucceeds = false;
  EXPECT_EQ(platform::AdministratorsDataFolderWith(stuck.Ops()), u"");
  EXPECT_EQ(stuck.events.size(), 2u);

  // Planted again each time it is set aside: a bounded number of tries.
  FakeFolders raced{std::vector<FolderSecurity>(platform::kDataFolderAttempts, planted), true, true, {}};
  EXPECT_EQ(platform::AdministratorsDataFolderWith(raced.Ops()), u"");
  EXPECT_EQ(raced.events.size(), 2u * platform::kDataFolderAttempts);

  // Unelevated, the folder cannot be created.
  FakeFolders unelevated;
  unelevated.createSucceeds = false;
  EXPECT_EQ(platform::AdministratorsDataFolderWith(unelevated.Ops()), u"");
}

TEST(SystemFolders, OnlyTheSystemsOwnVariablesAreExpanded) {
  EXPECT_EQ(platform::ExpandSystemVariables(u"%SystemDrive%\\ProgramData", u"D:\\Win"), u"D:\\ProgramData");
  EXPECT_EQ(platform::ExpandSystemVariables(u"%SYSTEMROOT%\\x;%windir%", u"D:\\Win"), u"D:\\Win\\x;D:\\Win");
  EXPECT_EQ(platform::ExpandSystemVariables(u"C:\\Users\\ann", u"D:\\Win"), u"C:\\Users\\ann");
  // Anything else would come from this process's environment.
  EXPECT_EQ(platform::ExpandSystemVariables(u"%USERPROFILE%\\x", u"D:\\Win"), u"");
  EXPECT_EQ(platform::ExpandSystemVariables(u"50%", u"D:\\Win"), u"");
  EXPECT_EQ(platform::ExpandSystemVariables(u"%SystemDrive%", u""), u"");
  EXPECT_EQ(platform::RegistryText(std::string("C\0:\0\\\0\0\0", 8)), u"C:\\");
  EXPECT_EQ(platform::RegistryText(std::string("C\0:", 3)), u"");
  EXPECT_EQ(platform::RegistryText(std::nullopt), u"");
}

}  // namespace
