#pragma once
// The state check's side of the effects check: each row as the program holds
// it, and what the program's own code says of it on this machine.
//
// A row of the catalogue is the catalogue's tweak (the generated table, as
// "init" numbers it); an example source, which is no catalogue row, becomes a
// tweak described by the generator's own DescribeRow and is numbered after the
// catalogue's. Its state is read with CheckTweak and SystemMachine(), and the
// skip decision is the run's own: OptimizeRunWith with AppliedOnThisMachine,
// the check that OptimizeRun makes when "skipApplied" is set.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "run/batch_output.h"
#include "state/state_check.h"

struct RowSource {
  std::string path;    // as given on the command line
  std::string source;  // its text
};

// Builds the catalogue, adds the example sources as tweaks of their own and
// publishes the tweak index. Returns each row's tweak, in order; null for a
// path under catalogue/scripts/ that names no catalogue row.
std::vector<const Tweak*> LoadRowTweaks(const std::vector<RowSource>& rows);

// The tweak's id in the published index; -1 when it has none.
int32_t RowTweakId(const Tweak* tweak);

// The state as the program reads it now.
TweakCheck CheckRowState(const Tweak& tweak);

struct SkipRunResult {
  bool scriptRan = false;             // the runner was called
  std::vector<std::string> messages;  // what the run told the page
};

// Runs the tweak's id through OptimizeRunWith with skipping on; `runScript`
// stands for the batch runner.
SkipRunResult RunWithSkip(int32_t id, const std::function<BatchResult()>& runScript);
