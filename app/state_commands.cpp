#include <atomic>

#include "app/commands.h"
#include "catalogue/tweak_index.h"
#include "protocol/json_value.h"
#include "protocol/outbox.h"
#include "protocol/page_messages.h"
#include "state/state_message.h"

namespace {

// Requests for the whole catalogue's state not yet answered. One job answers
// all that arrived before it began, and goes round again for any that arrived
// while it read, so that at most one check of the catalogue runs at a time and
// none is lost.
std::atomic<int> g_stateRequests{0};

void CheckCatalogueUntilAnswered() {
  int served = g_stateRequests.load();
  while (true) {
    PostToPageUtf8(WriteStateMessage(g_catalogue, SystemMachine()));
    const int left = g_stateRequests.fetch_sub(served) - served;
    if (left == 0) return;
    served = left;
  }
}

}  // namespace

void HandleState(std::string_view text, const PageCommandActions& actions) {
  // Ids are the ones "init" gave; a check before the first "ready" numbers the
  // catalogue the same way.
  UpdateTweakIndex(g_catalogue);
  const std::optional<JsonValue> parsed = ParseJson(text);
  if (parsed && JsonMember(*parsed, "id") != nullptr) {
    const std::optional<int32_t> id = CommandTweakId(text, "state");
    if (!id) return;
    const Tweak* tweak = *id < 0 ? nullptr : TweakIndexAt(static_cast<size_t>(*id));
    if (tweak == nullptr) {
      PostLog(LogLevel::Warn, "Unknown tweak id: %d", *id);
      return;
    }
    try {
      actions.startWork(
          [id = *id, tweak] { PostToPageUtf8(WriteStepStateMessage(id, CheckTweak(*tweak, SystemMachine()))); });
    } catch (...) {
      PostLog(LogLevel::Warn, "Could not check the state, please try again.");
    }
    return;
  }
  if (g_stateRequests.fetch_add(1) > 0) return;  // the running check answers this one too
  try {
    actions.startWork(CheckCatalogueUntilAnswered);
  } catch (...) {
    g_stateRequests = 0;
    PostLog(LogLevel::Warn, "Could not check the state, please try again.");
  }
}
