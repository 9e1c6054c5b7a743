#include "app/commands.h"
#include "journal/history_message.h"
#include "protocol/json_value.h"
#include "protocol/outbox.h"
#include "protocol/page_messages.h"
#include "run/run_state.h"
#include "run/undo_run.h"

void HandleHistory(std::string_view, const PageCommandActions& actions) {
  try {
    actions.startWork([] {
      const JournalPlace place = SystemJournalPlace();
      const LoadedJournal loaded = place.folder.empty() ? LoadedJournal{} : LoadJournal(place.folder);
      PostToPageUtf8(WriteHistoryMessage(loaded, place.perUser));
    });
  } catch (...) {
    PostLog(LogLevel::Warn, "Could not read the history, please try again.");
  }
}

void HandleUndo(std::string_view text, const PageCommandActions& actions) {
  const std::optional<JsonValue> parsed = ParseJson(text);
  UndoRequest request;
  bool valid = false;
  if (parsed) {
    const JsonValue* run = JsonMember(*parsed, "run");
    const JsonValue* keys = JsonMember(*parsed, "keys");
    const JsonValue* force = JsonMember(*parsed, "force");
    valid = run != nullptr && run->kind == JsonValue::Kind::kString && !run->text.empty() &&
            (keys == nullptr || keys->kind == JsonValue::Kind::kArray) &&
            (force == nullptr || force->kind == JsonValue::Kind::kBool);
    for (size_t i = 0; valid && keys != nullptr && i < keys->items.size(); ++i) {
      valid = keys->items[i].kind == JsonValue::Kind::kString;
      if (valid) request.keys.push_back(keys->items[i].text);
    }
    if (valid) {
      request.run = run->text;
      request.force = force != nullptr && force->boolean;
    }
  }
  if (!valid) {
    PostLog(LogLevel::Warn, "Undo needs a run id, and keys as a list of texts.");
    return;
  }
  // Refused like "optimize" while a run or an undo is active.
  if (g_running.exchange(true)) {
    PostLog(LogLevel::Warn, "Already running, please wait.");
    return;
  }
  try {
    actions.startWork([request] { UndoRun(request); });
  } catch (...) {
    g_running = false;
    PostLog(LogLevel::Warn, "Could not start the undo, please try again.");
  }
}
