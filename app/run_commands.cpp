#include "app/commands.h"
#include "protocol/json_text.h"
#include "protocol/json_value.h"
#include "protocol/page_messages.h"
#include "run/run_state.h"

void HandleOptimize(std::string_view text, const PageCommandActions& actions) {
  // The flag is raised here, before the thread exists, so that a second
  // "optimize" arriving before the run's first step is refused too.
  if (g_running.exchange(true)) {
    PostLog(LogLevel::Warn, "Already running, please wait.");
    return;
  }
  std::vector<int32_t> ids = JsonGetIntArray(text, "ids");
  if (ids.empty()) {
    g_running = false;
    PostLog(LogLevel::Warn, "Nothing to do: empty selection.");
    return;
  }
  // The page asks to pass by what is already in place; a command without the
  // field runs every tweak.
  const std::optional<JsonValue> parsed = ParseJson(text);
  const JsonValue* skip = parsed ? JsonMember(*parsed, "skipApplied") : nullptr;
  const bool skipApplied = skip != nullptr && skip->kind == JsonValue::Kind::kBool && skip->boolean;
  try {
    actions.startRun(std::move(ids), skipApplied);
  } catch (...) {
    g_running = false;
    PostLog(LogLevel::Warn, "Could not start the run, please try again.");
  }
}

void HandleCancel(std::string_view, const PageCommandActions&) { g_cancelRequested = true; }
