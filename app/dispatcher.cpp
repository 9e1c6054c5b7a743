#include "app/dispatcher.h"

#include <memory>
#include <string>
#include <system_error>

#include "catalogue/details_message.h"
#include "catalogue/init_message.h"
#include "platform/thread.h"
#include "protocol/json_text.h"
#include "protocol/json_value.h"
#include "protocol/outbox.h"
#include "protocol/page_messages.h"
#include "run/optimize_run.h"
#include "run/run_state.h"

namespace {

void HandleReady(std::string_view, const PageCommandActions& actions) { PostToPageUtf8(actions.buildInit()); }

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
  try {
    actions.startRun(std::move(ids));
  } catch (...) {
    g_running = false;
    PostLog(LogLevel::Warn, "Could not start the run, please try again.");
  }
}

void HandleCancel(std::string_view, const PageCommandActions&) { g_cancelRequested = true; }

void HandleDetails(std::string_view, const PageCommandActions&) { PostToPageUtf8(BuildDetailsMessage()); }

void HandleScript(std::string_view text, const PageCommandActions&) {
  const std::optional<JsonValue> command = ParseJson(text);
  const JsonValue* idValue = command ? JsonMember(*command, "id") : nullptr;
  const std::optional<int32_t> id = idValue ? JsonInt32(*idValue) : std::nullopt;
  if (!id) {
    PostLog(LogLevel::Warn, "Malformed command: \"script\" needs an integer \"id\".");
    return;
  }
  std::optional<std::string> message = BuildScriptMessage(*id);
  if (!message) {
    PostLog(LogLevel::Warn, "Unknown tweak id: %d", *id);
    return;
  }
  PostToPageUtf8(std::move(*message));
}

struct Command {
  std::string_view word;
  void (*handle)(std::string_view text, const PageCommandActions& actions);
};

// Every command word the core answers, matched exactly (case-sensitive).
constexpr Command kCommands[] = {
    {"ready", HandleReady},     {"optimize", HandleOptimize}, {"cancel", HandleCancel},
    {"details", HandleDetails}, {"script", HandleScript},
};

}  // namespace

void HandlePageMessageWith(std::string_view text, const PageCommandActions& actions) {
  try {
    const std::string cmd = JsonGetString(text, "cmd");
    for (const Command& command : kCommands) {
      if (command.word == cmd) {
        command.handle(text, actions);
        return;
      }
    }
    PostLog(LogLevel::Warn, "Unknown command: %s", cmd.c_str());
  } catch (...) {
    // Only allocation can fail above; the web-message handler must never see
    // an exception, and there is nothing better to do than drop the command.
  }
}

namespace {

void RunThreadMain(void* ids) {
  std::unique_ptr<std::vector<int32_t>> owned(static_cast<std::vector<int32_t>*>(ids));
  OptimizeRun(std::move(*owned));
}

}  // namespace

PageCommandActions SystemPageCommandActions() {
  return {[] { return BuildInitMessage(); },
          [](std::vector<int32_t> ids) {
            auto owned = std::make_unique<std::vector<int32_t>>(std::move(ids));
            if (!platform::StartDetachedThread(RunThreadMain, owned.get())) {
              throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
            }
            owned.release();  // the thread owns the ids now
          }};
}

void HandlePageMessage(std::string_view text) {
  static const PageCommandActions actions = SystemPageCommandActions();
  HandlePageMessageWith(text, actions);
}
