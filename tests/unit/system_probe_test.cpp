#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "system/system_probe.h"

namespace {

const std::u16string kOsKey = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
const std::u16string kCpuKey = u"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";
const std::u16string kDisplayClass =
    u"SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e968-e325-11ce-bfc1-08002be10318}\\";

// Raw little-endian bytes of UTF-16 text, as the registry stores it.
std::string Bytes(std::u16string_view text) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

// A machine made of a registry (key and value name to raw data) and adapters.
// It behaves as the registry read does: data longer than the buffer fails.
struct FakeMachine {
  std::map<std::pair<std::u16string, std::u16string>, std::string> registry;
  std::vector<platform::DisplayAdapter> adapters;
  std::u16string user = u"Anna";
  std::u16string host = u"DESKTOP-1";
  std::vector<std::u16string> keysRead;

  void SetString(const std::u16string& key, const std::u16string& value, std::u16string_view text) {
    registry[{key, value}] = Bytes(text) + std::string(2, '\0');
  }

  ProbePlatform Platform() {
    return ProbePlatform{
        .readRegistryValue = [this](std::u16string_view key, std::u16string_view value,
                                    size_t byteLimit) -> std::optional<std::string> {
          keysRead.emplace_back(key);
          const auto found = registry.find({std::u16string(key), std::u16string(value)});
          if (found == registry.end() || found->second.size() > byteLimit) return std::nullopt;
          return found->second;
        },
        .displayAdapters = [this] { return adapters; },
        .userName = [this] { return user; },
        .computerName = [this] { return host; },
    };
  }
};

std::u16string DisplayKey(const char16_t* index) { return kDisplayClass + index; }

TEST(ProbeSystem, JoinsProductNameAndDisplayVersion) {
  FakeMachine machine;
  machine.SetString(kOsKey, u"ProductName", u"Windows 10 Pro");
  machine.SetString(kOsKey, u"DisplayVersion", u"22H2");
  EXPECT_EQ(ProbeSystem(machine.Platform()).os, u"Windows 10 Pro (22H2)");
}

TEST(ProbeSystem, MissingOrEmptyDisplayVersionLeavesTheProductNameAlone) {
  FakeMachine machine;
  machine.SetString(kOsKey, u"ProductName", u"Windows 11 Home");
  EXPECT_EQ(ProbeSystem(machine.Platform()).os, u"Windows 11 Home");
  machine.SetString(kOsKey, u"DisplayVersion", u"");
  EXPECT_EQ(ProbeSystem(machine.Platform()).os, u"Windows 11 Home");
}

TEST(ProbeSystem, UnreadableProductNameLeavesTheVersionInParentheses) {
  FakeMachine machine;
  machine.SetString(kOsKey, u"DisplayVersion", u"23H2");
  EXPECT_EQ(ProbeSystem(machine.Platform()).os, u" (23H2)");
}

TEST(ProbeSystem, CpuNameKeepsItsSpaces) {
  FakeMachine machine;
  machine.SetString(kCpuKey, u"ProcessorNameString", u"  Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz  ");
  EXPECT_EQ(ProbeSystem(machine.Platform()).cpu, u"  Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz  ");
}

TEST(ProbeSystem, UserAndHostComeFromThePlatform) {
  FakeMachine machine;
  machine.user = u"Пользователь";
  const SystemInfo info = ProbeSystem(machine.Platform());
  EXPECT_EQ(info.user, u"Пользователь");
  EXPECT_EQ(info.host, u"DESKTOP-1");
  machine.user.clear();
  machine.host.clear();
  EXPECT_EQ(ProbeSystem(machine.Platform()).user, u"");
  EXPECT_EQ(ProbeSystem(machine.Platform()).host, u"");
}

TEST(ProbeSystem, NothingReadableLeavesEveryMachineFieldEmpty) {
  FakeMachine machine;
  const SystemInfo info = ProbeSystem(machine.Platform());
  EXPECT_EQ(info.os, u"");
  EXPECT_EQ(info.cpu, u"");
  EXPECT_EQ(info.gpu, u"");
}

TEST(ProbeSystemGpu, AdapterWithMostDedicatedMemoryWinsAndTheFirstOfEquals) {
  FakeMachine machine;
  machine.adapters = {
      {0x8086, 128u << 20, u"Intel(R) UHD Graphics 630"},
      {0x10DE, 8ull << 30, u"NVIDIA GeForce RTX 3070"},
      {0x1002, 8ull << 30, u"AMD Radeon RX 6800"},
  };
  machine.SetString(DisplayKey(u"0000"), u"DriverDesc", u"Some other card");
  EXPECT_EQ(ProbeSystem(machine.Platform()).gpu, u"NVIDIA GeForce RTX 3070");
  EXPECT_TRUE(machine.keysRead.end() ==
              std::find(machine.keysRead.begin(), machine.keysRead.end(), DisplayKey(u"0000")))
      << "the display-class keys are read only when no adapter was chosen";
}

TEST(ProbeSystemGpu, SoftwareAdapterIsNeverChosenWhateverItsMemory) {
  FakeMachine machine;
  machine.adapters = {
      {0x1414, 16ull << 30, u"Microsoft Basic Render Driver"},
      {0x8086, 1, u"Intel(R) HD Graphics"},
  };
  EXPECT_EQ(ProbeSystem(machine.Platform()).gpu, u"Intel(R) HD Graphics");
}

TEST(ProbeSystemGpu, OnlySoftwareOrMemorylessAdaptersFallBackToTheDisplayClassKeys) {
  FakeMachine machine;
  machine.adapters = {
      {0x1414, 1u << 30, u"Microsoft Basic Render Driver"},
      {0x8086, 0, u"Intel(R) UHD Graphics"},
  };
  machine.SetString(DisplayKey(u"0000"), u"DriverDesc", u"Intel(R) UHD Graphics 770");
  EXPECT_EQ(ProbeSystem(machine.Platform()).gpu, u"Intel(R) UHD Graphics 770");
}

TEST(ProbeSystemGpu, KeywordInAnyCaseBeatsAnEarlierDescription) {
  FakeMachine machine;
  machine.SetString(DisplayKey(u"0000"), u"DriverDesc", u"Intel(R) Iris(R) Xe Graphics");
  machine.SetString(DisplayKey(u"0001"), u"DriverDesc", u"Laptop GeFoRcE MX450");
  EXPECT_EQ(ProbeSystem(machine.Platform()).gpu, u"Laptop GeFoRcE MX450");
}

TEST(ProbeSystemGpu, EachKeywordIsFound) {
  for (const char16_t* description : {u"NVIDIA Quadro P400", u"nVidia thing", u"ASUS GEFORCE GT 1030",
                                      u"AMD RADEON(TM) Graphics", u"Sapphire RX 580"}) {
    FakeMachine machine;
    machine.SetString(DisplayKey(u"0000"), u"DriverDesc", u"Basic Display Adapter");
    machine.SetString(DisplayKey(u"0003"), u"DriverDesc", description);
    EXPECT_EQ(ProbeSystem(machine.Platform()).gpu, description);
  }
}

TEST(ProbeSystemGpu, RxNeedsItsTrailingSpace) {
  FakeMachine machine;
  machine.SetString(DisplayKey(u"0000"), u"DriverDesc", u"Matrox G200eR2");
  machine.SetString(DisplayKey(u"0001"), u"DriverDesc", u"Citrix Display Only Adapter");
  machine.SetString(DisplayKey(u"0002"), u"DriverDesc", u"Virtual RX");
  EXPECT_EQ(ProbeSystem(machine.Platform()).gpu, u"Matrox G200eR2");
}

TEST(ProbeSystemGpu, WithoutKeywordsTheFirstDescriptionWinsAcrossGaps) {
  FakeMachine machine;
  machine.SetString(DisplayKey(u"0002"), u"DriverDesc", u"");
  machine.SetString(DisplayKey(u"0005"), u"DriverDesc", u"Microsoft Basic Display Adapter");
  machine.SetString(DisplayKey(u"0009"), u"DriverDesc", u"Second adapter");
  EXPECT_EQ(ProbeSystem(machine.Platform()).gpu, u"Microsoft Basic Display Adapter");
}

TEST(ProbeSystemGpu, KeywordFoundAfterGapsAndNothingBeyondFifteenIsRead) {
  FakeMachine machine;
  machine.SetString(DisplayKey(u"0015"), u"DriverDesc", u"Radeon Pro W6800");
  machine.SetString(DisplayKey(u"0016"), u"DriverDesc", u"NVIDIA beyond the walk");
  EXPECT_EQ(ProbeSystem(machine.Platform()).gpu, u"Radeon Pro W6800");

  FakeMachine unmatched;
  unmatched.SetString(DisplayKey(u"0016"), u"DriverDesc", u"NVIDIA beyond the walk");
  EXPECT_EQ(ProbeSystem(unmatched.Platform()).gpu, u"");
  std::vector<std::u16string> walked;
  for (const std::u16string& key : unmatched.keysRead) {
    if (key.starts_with(kDisplayClass)) walked.push_back(key.substr(kDisplayClass.size()));
  }
  std::vector<std::u16string> expected;
  for (int i = 0; i < 16; ++i) {
    std::u16string index = u"00";
    index += static_cast<char16_t>(u'0' + i / 10);
    index += static_cast<char16_t>(u'0' + i % 10);
    expected.push_back(index);
  }
  EXPECT_EQ(walked, expected);
}

TEST(ReadRegistryString, DropsEveryTrailingNulButKeepsInnerOnes) {
  FakeMachine machine;
  machine.registry[{u"K", u"multi"}] = Bytes(std::u16string(u"one\0two\0\0", 9));
  machine.registry[{u"K", u"nuls"}] = std::string(6, '\0');
  EXPECT_EQ(ReadRegistryString(machine.Platform(), u"K", u"multi"), std::u16string(u"one\0two", 7));
  EXPECT_EQ(ReadRegistryString(machine.Platform(), u"K", u"nuls"), u"");
}

TEST(ReadRegistryString, OddByteCountDropsTheLastByte) {
  FakeMachine machine;
  machine.registry[{u"K", u"odd"}] = Bytes(u"AB") + "C";
  EXPECT_EQ(ReadRegistryString(machine.Platform(), u"K", u"odd"), u"AB");
}

TEST(ReadRegistryString, DataOfUpTo1024BytesIsReadLongerIsEmpty) {
  FakeMachine machine;
  const std::u16string fits(511, u'x');  // 1022 bytes and a 2-byte terminator
  const std::u16string tooLong(512, u'y');
  machine.SetString(u"K", u"fits", fits);
  machine.SetString(u"K", u"long", tooLong);
  EXPECT_EQ(ReadRegistryString(machine.Platform(), u"K", u"fits"), fits);
  EXPECT_EQ(ReadRegistryString(machine.Platform(), u"K", u"long"), u"");
  EXPECT_EQ(ReadRegistryString(machine.Platform(), u"K", u"missing"), u"");
}

TEST(ReadRegistryString, ALayerReturningMoreThanItWasAskedForIsNotBelieved) {
  FakeMachine machine;
  ProbePlatform platform = machine.Platform();
  platform.readRegistryValue = [](std::u16string_view, std::u16string_view, size_t) -> std::optional<std::string> {
    return std::string(2048, 'a');
  };
  EXPECT_EQ(ReadRegistryString(platform, u"K", u"V"), u"");
}

}  // namespace
