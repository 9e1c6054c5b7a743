#include "app/commands.h"
#include "catalogue/details_message.h"
#include "catalogue/init_message.h"
#include "protocol/json_value.h"
#include "protocol/outbox.h"
#include "protocol/page_messages.h"

std::optional<int32_t> CommandTweakId(std::string_view text, std::string_view command) {
  const std::optional<JsonValue> parsed = ParseJson(text);
  const JsonValue* idValue = parsed ? JsonMember(*parsed, "id") : nullptr;
  const std::optional<int32_t> id = idValue ? JsonInt32(*idValue) : std::nullopt;
  if (!id) {
    PostLog(LogLevel::Warn, "Malformed command: \"%.*s\" needs an integer \"id\".", static_cast<int>(command.size()),
            command.data());
  }
  return id;
}

void HandleReady(std::string_view, const PageCommandActions& actions) { PostToPageUtf8(actions.buildInit()); }

void HandleDetails(std::string_view, const PageCommandActions&) { PostToPageUtf8(BuildDetailsMessage()); }

void HandleScript(std::string_view text, const PageCommandActions&) {
  const std::optional<int32_t> id = CommandTweakId(text, "script");
  if (!id) return;
  std::optional<std::string> message = BuildScriptMessage(*id);
  if (!message) {
    PostLog(LogLevel::Warn, "Unknown tweak id: %d", *id);
    return;
  }
  PostToPageUtf8(std::move(*message));
}
