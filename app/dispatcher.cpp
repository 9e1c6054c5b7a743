#include "app/dispatcher.h"

#include <memory>
#include <system_error>

#include "app/commands.h"
#include "catalogue/init_message.h"
#include "platform/thread.h"
#include "protocol/json_text.h"
#include "protocol/page_messages.h"
#include "run/optimize_run.h"

namespace {

struct Command {
  std::string_view word;
  CommandHandler handle;
};

// Every command word the core answers, matched exactly (case-sensitive).
constexpr Command kCommands[] = {
    {"ready", HandleReady},   {"optimize", HandleOptimize}, {"cancel", HandleCancel},   {"details", HandleDetails},
    {"script", HandleScript}, {"state", HandleState},       {"history", HandleHistory}, {"undo", HandleUndo},
    {"output", HandleOutput}, {"import", HandleImport},     {"export", HandleExport},
};

// Runs `job` on a new detached thread; throws like std::thread when none starts.
void StartDetached(std::function<void()> job) {
  auto owned = std::make_unique<std::function<void()>>(std::move(job));
  const auto main = [](void* job) {
    std::unique_ptr<std::function<void()>> mine(static_cast<std::function<void()>*>(job));
    (*mine)();
  };
  if (!platform::StartDetachedThread(main, owned.get())) {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  }
  owned.release();  // the thread owns the job now
}

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

PageCommandActions SystemPageCommandActions() {
  return {[] { return BuildInitMessage(); },
          [](std::vector<int32_t> ids, RunOptions options) {
            StartDetached([ids = std::move(ids), options]() mutable { OptimizeRun(std::move(ids), options); });
          },
          StartDetached};
}

void HandlePageMessage(std::string_view text) {
  static const PageCommandActions actions = SystemPageCommandActions();
  HandlePageMessageWith(text, actions);
}
