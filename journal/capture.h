#pragma once
// The state of everything a tweak's exactly reversible steps change, read
// from the machine through the same readers as the state check: before the
// tweak runs, so that undo can put it back, and after, so that undo can tell
// whether anyone changed it since.

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/step_def.h"
#include "platform/registry.h"
#include "state/state_check.h"

// One key of a recorded subtree: its path below the recorded key ("" for the
// key itself) and its values in the order the registry lists them.
struct RegistryKeyState {
  std::string path;
  std::vector<std::pair<std::string, platform::RegistryValue>> values;
};

struct Capture {
  enum class Kind { kValue, kTree, kService, kTask, kFile };
  Kind kind = Kind::kValue;
  // kValue, kTree: the key as "HKLM\path"; kService: the service's name;
  // kTask: the task's full path ("\Microsoft\Windows\...\Name"); kFile: the
  // file's full path.
  std::string target;
  std::string name;  // kValue: the value's name, "" for the unnamed value
  bool present = false;
  platform::RegistryValue value;       // kValue
  std::vector<RegistryKeyState> keys;  // kTree: parents before their subkeys
  // kValue, kTree: the highest key on the path that did not exist ("" when
  // the key did), so that undo removes what the step created once it is empty.
  std::string made;
  uint32_t startType = 0;  // kService
  bool delayed = false;    // kService
  bool enabled = false;    // kTask
  std::string content;     // kFile: the bytes, when `keepsContent`
  bool keepsContent = true;
  uint64_t size = 0;    // kFile
  uint64_t digest = 0;  // kFile: FNV-1a of the bytes
};

// What a capture could read, and what it could not in plain words
// ("value X of KEY cannot be read").
struct Captured {
  std::vector<Capture> captures;
  std::vector<std::string> missed;
};

// The largest file, value or subtree recorded: the journal keeps them whole.
inline constexpr size_t kMaxCaptureBytes = 1024 * 1024;

// Every target of the kExact steps, read now; a target named by two steps is
// read once, before either.
Captured CaptureSteps(std::span<const StepDef> steps, const Machine& machine);

// The same targets read again; file contents are kept only when
// `keepContents` (after a tweak, the size and digest tell a change).
Captured Recapture(const std::vector<Capture>& targets, const Machine& machine, bool keepContents);

// The target of a capture, for matching captures of one thing: kind, target
// and name, ignoring ASCII case.
std::string TargetId(const Capture& capture);
// Whether two captures of one target hold the same state (a file by size and
// digest).
bool SameState(const Capture& a, const Capture& b);
// "value AllowTelemetry of HKLM\...", "service DiagTrack", ...
std::string TargetText(const Capture& capture);
// "3 (REG_DWORD)", "absent", "starts Automatic (2)", "412 bytes", ...
std::string StateText(const Capture& capture);

uint64_t Fnv1a(std::string_view bytes);
