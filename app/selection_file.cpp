#include "app/selection_file.h"

#include <set>

#include "protocol/json_text.h"
#include "protocol/json_value.h"

namespace {

constexpr std::string_view kFormat = "quarnfeld-selection";

}  // namespace

SelectionRead ReadSelection(std::string_view text, const TweakIndex& index) {
  SelectionRead read;
  if (text.size() > kMaxSelectionBytes) {
    read.error = "the file is larger than " + std::to_string(kMaxSelectionBytes / 1024) + " KiB";
    return read;
  }
  const std::optional<JsonValue> file = ParseJson(text);
  if (!file || file->kind != JsonValue::Kind::kObject) {
    read.error = "the file is not a JSON object";
    return read;
  }
  for (const std::string& name : file->keys) {
    if (name != "format" && name != "version" && name != "tweaks") {
      read.error = "unexpected member \"" + name + "\"";
      return read;
    }
  }
  const JsonValue* version = JsonMember(*file, "version");
  const JsonValue* tweaks = JsonMember(*file, "tweaks");
  if (JsonStringMember(*file, "format") != std::string(kFormat)) {
    read.error = "\"format\" is not \"" + std::string(kFormat) + "\"";
  } else if (version == nullptr || JsonInt32(*version) != 1) {
    read.error = "\"version\" is not 1";
  } else if (tweaks == nullptr || tweaks->kind != JsonValue::Kind::kArray) {
    read.error = "\"tweaks\" is not a list of keys";
  }
  if (!read.error.empty()) return read;
  std::set<std::string> seen;
  for (const JsonValue& item : tweaks->items) {
    if (item.kind != JsonValue::Kind::kString) {
      read.error = "\"tweaks\" holds something other than a key";
      read.ids.clear();
      return read;
    }
    if (!seen.insert(item.text).second) {
      read.repeated.push_back(item.text);
      continue;
    }
    bool found = false;
    for (size_t id = 0; id < index.size() && !found; ++id) {
      if (index[id]->key == item.text) {
        read.ids.push_back(static_cast<int32_t>(id));
        found = true;
      }
    }
    if (!found) read.unknown.push_back(item.text);
  }
  return read;
}

std::string WriteSelection(const std::vector<const Tweak*>& tweaks) {
  std::string text = "{\"format\":\"" + std::string(kFormat) + "\",\"version\":1,\"tweaks\":[";
  for (size_t i = 0; i < tweaks.size(); ++i) {
    text += i == 0 ? "\n  " : ",\n  ";
    text += JsonQuote(tweaks[i]->key);
  }
  text += tweaks.empty() ? "]}\n" : "\n]}\n";
  return text;
}
