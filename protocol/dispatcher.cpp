#include "protocol/dispatcher.h"

#include <memory>
#include <optional>
#include <string>
#include <system_error>

#include "catalogue/init_message.h"
#include "platform/thread.h"
#include "protocol/json_text.h"
#include "protocol/outbox.h"
#include "protocol/page_messages.h"
#include "protocol/run_state.h"
#include "run/optimize_run.h"

void HandlePageMessageWith(std::string_view text, const PageCommandActions& actions) {
  try {
    const std::string cmd = JsonGetString(text, "cmd");
    if (cmd == "ready") {
      PostToPageUtf8(actions.buildInit());
    } else if (cmd == "optimize") {
      // The flag is raised here, before the thread exists, so that a second
      // "optimize" arriving before the run's first step is refused too.
      if (g_running.exchange(true)) {
        LogWarn("Already running, please wait.");
        return;
      }
      std::optional<std::vector<int32_t>> ids = JsonGetIntArray(text, "ids");
      if (!ids) {
        // Anything but plain ids could run tweaks the page never chose.
        g_running = false;
        LogWarn("Invalid command: \"ids\" must be an array of whole numbers.");
        return;
      }
      if (ids->empty()) {
        g_running = false;
        LogWarn("Nothing to do: empty selection.");
        return;
      }
      // Cleared here, not by the run thread: a "cancel" sent after this
      // command and before the thread starts stops the run.
      g_cancelRequested = false;
      try {
        actions.startRun(std::move(*ids));
      } catch (...) {
        g_running = false;
        LogWarn("Could not start the run, please try again.");
      }
    } else if (cmd == "cancel") {
      g_cancelRequested = true;
    } else {
      LogWarn("Unknown command: %s", cmd.c_str());
    }
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
