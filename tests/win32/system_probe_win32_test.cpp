// The system probe on the real Win32 layer, under Wine. Registry values are
// made with reg.exe, run as a child process in this test's Wine prefix.

#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <string>
#include <string_view>

#include "platform/machine.h"
#include "platform/registry.h"
#include "system/system_probe.h"

namespace {

const std::u16string kTestKey = u"SOFTWARE\\QuarnfeldTests\\SystemProbe";
const std::u16string kDisplayClass =
    u"SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e968-e325-11ce-bfc1-08002be10318}\\";

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
std::u16string Units(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

// Runs reg.exe with `arguments` and returns its exit code (-1 when it did not start).
int Reg(const std::wstring& arguments) {
  std::wstring commandLine = L"reg.exe " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                      &startup, &process)) {
    return -1;
  }
  WaitForSingleObject(process.hProcess, 60000);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

std::wstring TestKey(std::wstring_view subkey = {}) {
  std::wstring key = L"HKLM\\" + Wide(kTestKey);
  if (!subkey.empty()) key += L"\\" + std::wstring(subkey);
  return key;
}

void AddValue(std::wstring_view subkey, std::wstring_view name, std::wstring_view type, std::wstring_view data) {
  const std::wstring arguments = L"add \"" + TestKey(subkey) + L"\" /v \"" + std::wstring(name) + L"\" /t " +
                                 std::wstring(type) + L" /d \"" + std::wstring(data) + L"\" /f";
  ASSERT_EQ(Reg(arguments), 0) << "reg.exe " << std::string(arguments.begin(), arguments.end());
}

class Win32SystemProbe : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Reg(L"delete \"" + TestKey() + L"\" /f");
    AddValue(L"", L"Plain", L"REG_SZ", L"  spaced text  ");
    AddValue(L"", L"Multi", L"REG_MULTI_SZ", L"one\\0two");
    AddValue(L"", L"OddBinary", L"REG_BINARY", L"4100420043");
    AddValue(L"", L"Fits", L"REG_SZ", std::wstring(511, L'f'));
    AddValue(L"", L"TooLong", L"REG_SZ", std::wstring(512, L'l'));
    AddValue(L"", L"Exact1024", L"REG_BINARY", std::wstring(1024 * 2, L'7'));
    AddValue(L"", L"Number", L"REG_DWORD", L"0x00420041");
  }
  static void TearDownTestSuite() { Reg(L"delete \"" + TestKey() + L"\" /f"); }

  static std::u16string Read(std::u16string_view value) { return ReadRegistryString(kTestKey, value); }
};

TEST_F(Win32SystemProbe, ReadRegistryStringDropsTheTerminatorAndKeepsSpaces) {
  EXPECT_EQ(Read(u"Plain"), u"  spaced text  ");
}

TEST_F(Win32SystemProbe, ReadRegistryStringDropsTrailingNulsOnlyOfAMultiString) {
  // Stored as "one", NUL, "two", NUL, NUL.
  EXPECT_EQ(Read(u"Multi"), std::u16string(u"one\0two", 7));
}

TEST_F(Win32SystemProbe, ReadRegistryStringTakesAnyTypeAsWholeUnits) {
  EXPECT_EQ(Read(u"OddBinary"), u"AB");  // five bytes: two units and a byte left over
  EXPECT_EQ(Read(u"Number"), u"AB");     // 0x00420041 stored little-endian
}

TEST_F(Win32SystemProbe, ReadRegistryStringReadsUpTo1024BytesAndNoMore) {
  EXPECT_EQ(Read(u"Fits"), std::u16string(511, u'f'));  // 1022 bytes and the terminator
  EXPECT_EQ(Read(u"Exact1024"), std::u16string(512, u'\x7777'));
  EXPECT_EQ(Read(u"TooLong"), u"");  // 1026 bytes
  EXPECT_EQ(platform::ReadMachineRegistryValue(kTestKey, u"TooLong", 1026).value_or("").size(), 1026u);
}

TEST_F(Win32SystemProbe, ReadRegistryStringOfAMissingKeyOrValueIsEmpty) {
  EXPECT_EQ(ReadRegistryString(kTestKey + u"\\Missing", u"Plain"), u"");
  EXPECT_EQ(Read(u"Missing"), u"");
}

// The display-class walk on real registry keys: the probe's reads of the
// display-class key are sent to a key of this test, and no adapter is listed.
ProbePlatform WithDisplayClassUnder(std::u16string_view subkey) {
  ProbePlatform platform = SystemProbePlatform();
  const std::u16string redirected = kTestKey + u"\\" + std::u16string(subkey) + u"\\";
  platform.readRegistryValue = [redirected](std::u16string_view key, std::u16string_view value, size_t limit) {
    std::u16string path(key);
    if (path.starts_with(kDisplayClass)) path = redirected + path.substr(kDisplayClass.size());
    return platform::ReadMachineRegistryValue(path, value, limit);
  };
  platform.displayAdapters = [] { return std::vector<platform::DisplayAdapter>(); };
  return platform;
}

TEST_F(Win32SystemProbe, EmptyDisplayClassWalkGivesAnEmptyGpu) {
  EXPECT_EQ(ProbeSystem(WithDisplayClassUnder(u"NoDisplayClass")).gpu, u"");
}

TEST_F(Win32SystemProbe, DisplayClassWalkPrefersAKnownMakerWithinTheFirstSixteen) {
  AddValue(L"Display\\0001", L"DriverDesc", L"REG_SZ", L"Basic Display Adapter");
  AddValue(L"Display\\0007", L"DriverDesc", L"REG_SZ", L"Laptop GeFORCE MX450");
  AddValue(L"Display\\0016", L"DriverDesc", L"REG_SZ", L"NVIDIA beyond the walk");
  EXPECT_EQ(ProbeSystem(WithDisplayClassUnder(u"Display")).gpu, u"Laptop GeFORCE MX450");
  AddValue(L"Fallback\\0003", L"DriverDesc", L"REG_SZ", L"First adapter");
  AddValue(L"Fallback\\0004", L"DriverDesc", L"REG_SZ", L"Second adapter");
  AddValue(L"Fallback\\0016", L"DriverDesc", L"REG_SZ", L"Radeon beyond the walk");
  EXPECT_EQ(ProbeSystem(WithDisplayClassUnder(u"Fallback")).gpu, u"First adapter");
}

std::u16string Environment(const wchar_t* name) {
  wchar_t buffer[512] = {};
  const DWORD length = GetEnvironmentVariableW(name, buffer, 512);
  return length > 0 && length < 512 ? Units(std::wstring_view(buffer, length)) : std::u16string();
}

// The registry's own text, read by a different call than the probe's.
std::u16string RegGetString(const wchar_t* key, const wchar_t* value) {
  wchar_t buffer[512] = {};
  DWORD size = sizeof buffer;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key, value, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS) return {};
  return Units(buffer);
}

TEST(Win32ProbeSystem, DescribesTheWineMachine) {
  const SystemInfo info = ProbeSystem();
  const wchar_t* osKey = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
  std::u16string os = RegGetString(osKey, L"ProductName");
  ASSERT_FALSE(os.empty());
  const std::u16string version = RegGetString(osKey, L"DisplayVersion");
  if (!version.empty()) os += u" (" + version + u")";
  EXPECT_EQ(info.os, os);
  EXPECT_NE(info.os.find(u"Windows"), std::u16string::npos);

  const std::u16string cpu =
      RegGetString(L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", L"ProcessorNameString");
  EXPECT_FALSE(cpu.empty());
  EXPECT_EQ(info.cpu, cpu);

  EXPECT_FALSE(info.user.empty());
  EXPECT_EQ(info.user, Environment(L"USERNAME"));
  EXPECT_FALSE(info.host.empty());
  EXPECT_EQ(info.host, Environment(L"COMPUTERNAME"));

  // Wine lists no adapter through DXGI here; the display-class keys name one.
  if (platform::DisplayAdapters().empty()) {
    const std::wstring firstDisplay = Wide(kDisplayClass) + L"0000";
    EXPECT_EQ(info.gpu, RegGetString(firstDisplay.c_str(), L"DriverDesc"));
  }
  EXPECT_FALSE(info.gpu.empty());
}

TEST(Win32IsElevated, AgreesWithTheAdministratorsMembership) {
  const bool elevated = IsElevated();
  EXPECT_EQ(IsElevated(), elevated);
  // An elevated token holds the Administrators group; a filtered one has it
  // for deny only, and a standard user's has it not at all.
  EXPECT_EQ(elevated, IsUserAnAdmin() != FALSE);
}

}  // namespace
