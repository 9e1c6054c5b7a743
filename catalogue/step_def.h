#pragma once
// A tweak's steps as data, written by the catalogue generator beside each
// body from the same script source: what the state check, the journal and
// undo read, so that nothing at run time reads body text.

#include <cstdint>
#include <span>

// How the prior state of what a step changes can be put back.
enum class StepUndo : uint8_t {
  kExact,     // the program records the prior state and restores it itself
  kNone,      // deleted, uninstalled or run as the row's own commands: no way back
  kNoChange,  // leaves nothing lasting behind (a note, ending a process)
};

struct StepParam {
  const char* name;
  const char* value;
};

struct StepDef {
  const char* family;  // the source's family name, "plain" for the row's own batch lines
  const char* summary;
  StepUndo undo;
  std::span<const StepParam> params;  // as the source gives them, version guard included
};
