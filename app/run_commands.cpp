#include "app/commands.h"
#include "protocol/json_text.h"
#include "protocol/json_value.h"
#include "protocol/outbox.h"
#include "protocol/page_messages.h"
#include "run/run_state.h"
#include "run/tweak_output.h"

void HandleOptimize(std::string_view text, const PageCommandActions& actions) {
  // The flag is raised here, before the thread exists, so that a second
  // "optimize" arriving before the run's first step is refused too.
  if (g_running.exchange(true)) {
    PostLog(LogLevel::Warn, "Already running, please wait.");
    return;
  }
  std::optional<std::vector<int32_t>> ids = JsonGetIntArray(text, "ids");
  if (!ids) {
    // Anything but plain ids could run tweaks the page never chose.
    g_running = false;
    PostLog(LogLevel::Warn, "Invalid command: \"ids\" must be an array of whole numbers.");
    return;
  }
  if (ids->empty()) {
    g_running = false;
    PostLog(LogLevel::Warn, "Nothing to do: empty selection.");
    return;
  }
  // The page asks to pass by what is already in place, and for a restore
  // point first; a command without the fields runs every tweak, without one.
  const std::optional<JsonValue> parsed = ParseJson(text);
  const auto flag = [&parsed](std::string_view name) {
    const JsonValue* member = parsed ? JsonMember(*parsed, name) : nullptr;
    return member != nullptr && member->kind == JsonValue::Kind::kBool && member->boolean;
  };
  // Cleared here, not by the run thread: a "cancel" sent after this command
  // was accepted counts even when the thread has not started yet.
  g_cancelRequested = false;
  try {
    actions.startRun(std::move(*ids), RunOptions{flag("skipApplied"), flag("restorePoint")});
  } catch (...) {
    g_running = false;
    PostLog(LogLevel::Warn, "Could not start the run, please try again.");
  }
}

void HandleCancel(std::string_view, const PageCommandActions&) { g_cancelRequested = true; }

// A tweak that did not run in the last run answers empty text: the panel says
// there is nothing to show.
void HandleOutput(std::string_view text, const PageCommandActions&) {
  const std::optional<int32_t> id = CommandTweakId(text, "output");
  if (!id) return;
  PostToPageUtf8("{\"type\":\"output\",\"id\":" + std::to_string(*id) +
                 ",\"text\":" + JsonQuote(LastRunOutput(*id).value_or("")) + "}");
}
