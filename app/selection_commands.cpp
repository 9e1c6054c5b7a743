#include "app/commands.h"
#include "app/selection_file.h"
#include "catalogue/tweak_index.h"
#include "protocol/json_text.h"
#include "protocol/json_value.h"
#include "protocol/outbox.h"
#include "protocol/page_messages.h"

namespace {

std::string JsonTextList(const std::vector<std::string>& texts) {
  std::string json = "[";
  for (size_t i = 0; i < texts.size(); ++i) {
    if (i > 0) json += ',';
    json += JsonQuote(texts[i]);
  }
  return json + "]";
}

}  // namespace

// The page reads the file through the browser's file picker and hands its
// text over, so that the page and the command line read selections with the
// one reader.
void HandleImport(std::string_view text, const PageCommandActions&) {
  const std::optional<JsonValue> parsed = ParseJson(text);
  const JsonValue* file = parsed ? JsonMember(*parsed, "text") : nullptr;
  if (file == nullptr || file->kind != JsonValue::Kind::kString) {
    PostLog(LogLevel::Warn, "Malformed command: \"import\" needs the file as \"text\".");
    return;
  }
  const SelectionRead read = ReadSelection(file->text, UpdateTweakIndex(g_catalogue));
  std::string json = "{\"type\":\"import\",\"error\":" + JsonQuote(read.error) + ",\"ids\":[";
  for (size_t i = 0; i < read.ids.size(); ++i) {
    if (i > 0) json += ',';
    json += std::to_string(read.ids[i]);
  }
  json += "],\"unknown\":" + JsonTextList(read.unknown) + ",\"repeated\":" + JsonTextList(read.repeated) + "}";
  PostToPageUtf8(json);
}

// The file's text for the page to save: the page cannot write files, and the
// web view does not download from a document given as a string.
void HandleExport(std::string_view text, const PageCommandActions&) {
  const std::optional<std::vector<int32_t>> ids = JsonGetIntArray(text, "ids");
  if (!ids) {
    PostLog(LogLevel::Warn, "Malformed command: \"export\" needs \"ids\" as an array of whole numbers.");
    return;
  }
  const TweakIndex& index = UpdateTweakIndex(g_catalogue);
  std::vector<const Tweak*> tweaks;
  for (const int32_t id : *ids) {
    if (id < 0 || static_cast<size_t>(id) >= index.size()) {
      PostLog(LogLevel::Warn, "Unknown tweak id: %d", id);
      return;
    }
    tweaks.push_back(index[static_cast<size_t>(id)]);
  }
  PostToPageUtf8("{\"type\":\"export\",\"text\":" + JsonQuote(WriteSelection(tweaks)) + "}");
}
