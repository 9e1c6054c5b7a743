#include "system/system_probe.h"

#include <array>
#include <cstdint>
#include <cwctype>

#include "platform/registry.h"

namespace {

constexpr size_t kRegistryValueBytes = 1024;

constexpr std::u16string_view kOsKey = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr std::u16string_view kCpuKey = u"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";
constexpr std::u16string_view kDisplayClassKey =
    u"SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e968-e325-11ce-bfc1-08002be10318}\\";
constexpr int kDisplayClassSubkeys = 16;  // "0000" to "0015"

// Microsoft's software adapter: never the machine's GPU.
constexpr uint32_t kSoftwareAdapterVendor = 0x1414;

constexpr std::array<std::u16string_view, 4> kGpuKeywords = {u"nvidia", u"geforce", u"radeon", u"rx "};

std::u16string Os(const ProbePlatform& platform) {
  std::u16string os = ReadRegistryString(platform, kOsKey, u"ProductName");
  const std::u16string version = ReadRegistryString(platform, kOsKey, u"DisplayVersion");
  if (!version.empty()) os += u" (" + version + u")";
  return os;
}

// The adapter with the most dedicated video memory; the first of equals; none
// without dedicated memory.
std::u16string BestAdapter(const std::vector<platform::DisplayAdapter>& adapters) {
  const platform::DisplayAdapter* best = nullptr;
  uint64_t bestMemory = 0;
  for (const platform::DisplayAdapter& adapter : adapters) {
    if (adapter.vendorId == kSoftwareAdapterVendor) continue;
    if (adapter.dedicatedVideoMemory > bestMemory) {
      bestMemory = adapter.dedicatedVideoMemory;
      best = &adapter;
    }
  }
  return best ? best->description : std::u16string();
}

std::u16string DisplayClassKey(int index) {
  std::u16string key(kDisplayClassKey);
  for (int divisor = 1000; divisor > 0; divisor /= 10) key += static_cast<char16_t>(u'0' + index / divisor % 10);
  return key;
}

bool NamesGpuMaker(const std::u16string& description) {
  std::u16string lower = description;
  for (char16_t& unit : lower) unit = static_cast<char16_t>(std::towlower(static_cast<wint_t>(unit)));
  for (std::u16string_view keyword : kGpuKeywords) {
    if (lower.find(keyword) != std::u16string::npos) return true;
  }
  return false;
}

// The first display driver description that names a known GPU maker, else the
// first description at all.
std::u16string DisplayClassGpu(const ProbePlatform& platform) {
  std::u16string fallback;
  for (int index = 0; index < kDisplayClassSubkeys; ++index) {
    std::u16string description = ReadRegistryString(platform, DisplayClassKey(index), u"DriverDesc");
    if (description.empty()) continue;
    if (NamesGpuMaker(description)) return description;
    if (fallback.empty()) fallback = std::move(description);
  }
  return fallback;
}

}  // namespace

ProbePlatform SystemProbePlatform() {
  return ProbePlatform{
      .readRegistryValue = platform::ReadMachineRegistryValue,
      .displayAdapters = platform::DisplayAdapters,
      .userName = platform::UserName,
      .computerName = platform::ComputerName,
  };
}

SystemInfo ProbeSystem() { return ProbeSystem(SystemProbePlatform()); }

SystemInfo ProbeSystem(const ProbePlatform& platform) {
  SystemInfo info;
  info.os = Os(platform);
  info.cpu = ReadRegistryString(platform, kCpuKey, u"ProcessorNameString");
  info.gpu = BestAdapter(platform.displayAdapters());
  if (info.gpu.empty()) info.gpu = DisplayClassGpu(platform);
  info.user = platform.userName();
  info.host = platform.computerName();
  return info;
}

bool IsElevated() { return platform::ProcessIsElevated(); }

std::u16string ReadRegistryString(std::u16string_view keyPath, std::u16string_view valueName) {
  return ReadRegistryString(SystemProbePlatform(), keyPath, valueName);
}

std::u16string ReadRegistryString(const ProbePlatform& platform, std::u16string_view keyPath,
                                  std::u16string_view valueName) {
  const std::optional<std::string> data = platform.readRegistryValue(keyPath, valueName, kRegistryValueBytes);
  if (!data || data->size() > kRegistryValueBytes) return {};
  // Little-endian UTF-16 units; an odd last byte is not a unit.
  std::u16string text(data->size() / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    const auto low = static_cast<unsigned char>((*data)[2 * i]);
    const auto high = static_cast<unsigned char>((*data)[2 * i + 1]);
    text[i] = static_cast<char16_t>(low | high << 8);
  }
  // String values carry their terminator, sometimes more than one.
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}
