#pragma once
// The handlers of the command table, one group a file. Each reads its fields
// from the command's text and answers through the outbox.

#include <cstdint>
#include <optional>
#include <string_view>

#include "app/dispatcher.h"

using CommandHandler = void (*)(std::string_view text, const PageCommandActions& actions);

// catalogue_commands.cpp
void HandleReady(std::string_view text, const PageCommandActions& actions);
void HandleDetails(std::string_view text, const PageCommandActions& actions);
void HandleScript(std::string_view text, const PageCommandActions& actions);

// run_commands.cpp
void HandleOptimize(std::string_view text, const PageCommandActions& actions);
void HandleCancel(std::string_view text, const PageCommandActions& actions);
void HandleOutput(std::string_view text, const PageCommandActions& actions);

// state_commands.cpp
void HandleState(std::string_view text, const PageCommandActions& actions);

// journal_commands.cpp
void HandleHistory(std::string_view text, const PageCommandActions& actions);
void HandleUndo(std::string_view text, const PageCommandActions& actions);

// selection_commands.cpp
void HandleImport(std::string_view text, const PageCommandActions& actions);
void HandleExport(std::string_view text, const PageCommandActions& actions);

// The "id" of a command that names one tweak; warns and gives nothing when it
// is missing or no plain 32-bit integer.
std::optional<int32_t> CommandTweakId(std::string_view text, std::string_view command);
