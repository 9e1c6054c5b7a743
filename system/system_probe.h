#pragma once
// The machine description shown by the page, and the elevation check. Every
// probe that fails leaves its part empty; nothing is reported or thrown.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/machine.h"

struct SystemInfo {
  std::u16string os;  // product name, and " (<display version>)" when there is one
  std::u16string cpu;
  std::u16string gpu;
  std::u16string user;
  std::u16string host;
};

// The platform facts the probe decides from; tests feed their own.
struct ProbePlatform {
  // platform::ReadMachineRegistryValue: raw data of a value, nothing when it
  // cannot be read within byteLimit bytes.
  std::function<std::optional<std::string>(std::u16string_view keyPath, std::u16string_view valueName,
                                           size_t byteLimit)>
      readRegistryValue;
  std::function<std::vector<platform::DisplayAdapter>()> displayAdapters;
  std::function<std::u16string()> userName;
  std::function<std::u16string()> computerName;
};

// The real platform's facts.
ProbePlatform SystemProbePlatform();

SystemInfo ProbeSystem();
SystemInfo ProbeSystem(const ProbePlatform& platform);

bool IsElevated();

// A value under HKEY_LOCAL_MACHINE as UTF-16 text, whatever its type: its
// data of at most 1024 bytes as whole units, trailing NUL units removed.
// Empty when the key or value is missing or the data is longer.
std::u16string ReadRegistryString(std::u16string_view keyPath, std::u16string_view valueName);
std::u16string ReadRegistryString(const ProbePlatform& platform, std::u16string_view keyPath,
                                  std::u16string_view valueName);
