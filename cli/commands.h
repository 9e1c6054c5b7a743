#pragma once
// The commands of quarnfeld.exe. Each enters the core as the page's command
// does, through the dispatcher (app/dispatcher.h), and prints what the core
// answers through the outbox: one run, one state check, one journal, one
// reader of selection files for both front ends.

#include <functional>
#include <optional>
#include <string>

#include "app/dispatcher.h"
#include "cli/arguments.h"
#include "cli/run_report.h"

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNotElevated = 3;

// What the commands work through; tests give their own.
struct CliSystem {
  CliOutput output;  // its `json` is set from the command
  PageCommandActions actions;
  std::function<bool()> elevated;
  // A file's bytes, at most `maxBytes` + 1 of them; nothing when it cannot be read.
  std::function<std::optional<std::string>(const std::string& path, size_t maxBytes)> readFile;
  std::function<bool(const std::string& path, const std::string& text)> writeFile;
};

// Runs the command and answers its exit code: 0 every tweak succeeded or was
// passed by, 1 some tweak failed, 2 bad usage or input (nothing ran), 3 not
// elevated for a command that changes the machine. g_catalogue must be built.
int RunCliCommand(const CliCommand& command, const CliSystem& system);
