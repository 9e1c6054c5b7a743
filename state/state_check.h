#pragma once
// Whether a tweak is already in place on this machine, read from its step
// records without starting any process: registry values and keys, service
// start types, scheduled tasks, the hosts file, editor settings and app
// packages. Nothing here changes the machine.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/catalogue.h"
#include "platform/registry.h"
#include "platform/system_state.h"

enum class StepState {
  kApplied,        // the machine already holds what the step would make
  kNotApplied,     // the step would change something
  kNotApplicable,  // nothing here for the step: its target is absent, its Windows version another
  kAlwaysRuns,     // deletes or cleans, or leaves nothing lasting: there is no state to have
  kUnknown,        // cannot be told without running it
};

struct StepCheck {
  StepState state = StepState::kUnknown;
  std::string reason;  // in plain words, e.g. "value AllowTelemetry is 3, the tweak sets 0"
};

enum class TweakState { kApplied, kPartly, kNotApplied, kNotApplicable, kUnknown };

struct TweakCheck {
  TweakState state = TweakState::kUnknown;
  int32_t done = 0;              // steps already applied
  int32_t total = 0;             // steps with a state: applied, not applied or unknown
  bool alwaysRuns = false;       // a step deletes or cleans whatever the state
  std::vector<StepCheck> steps;  // one per step record, in order
};

// The machine facts a check reads. SystemMachine() reads the real ones and
// keeps what it read for the length of one check of the catalogue; tests give
// their own.
struct Machine {
  std::function<platform::RegistryRead(platform::RegistryHive, std::u16string_view key, std::u16string_view name)>
      readValue;
  std::function<std::optional<bool>(platform::RegistryHive, std::u16string_view key)> keyExists;
  std::function<std::optional<std::vector<std::u16string>>(platform::RegistryHive, std::u16string_view key)> subkeys;
  std::function<std::optional<std::vector<std::pair<std::u16string, platform::RegistryValue>>>(platform::RegistryHive,
                                                                                               std::u16string_view key)>
      values;
  std::function<platform::ServiceStart(std::u16string_view name)> serviceStart;
  std::function<std::optional<std::vector<std::u16string>>()> serviceNames;
  std::function<platform::TaskFolder(std::u16string_view folder)> tasksIn;
  std::function<std::optional<bool>(std::u16string_view family)> packageInstalled;
  std::function<std::optional<std::string>(const std::u16string& path)> readFile;
  std::function<std::u16string(std::u16string_view text)> expand;
  std::u16string hostsPath;
  std::u16string appData;
  platform::WindowsVersion version;
};

Machine SystemMachine();

TweakCheck CheckTweak(const Tweak& tweak, const Machine& machine);
StepCheck CheckStep(const StepDef& step, std::span<const StepDef> siblings, const Machine& machine);

// "applied", "partly", "not-applied", "n/a" or "unknown".
const char* TweakStateWord(TweakState state);
// The same words for a step; a step that always runs is "n/a".
const char* StepStateWord(StepState state);

// Whether a run may pass the tweak by: everything it sets is already set and
// nothing of it deletes or cleans.
bool SkipsAsApplied(const TweakCheck& check);
