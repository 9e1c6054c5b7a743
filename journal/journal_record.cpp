#include "journal/journal_record.h"

#include <charconv>
#include <cstdio>
#include <optional>

#include "protocol/base64.h"
#include "protocol/json_text.h"
#include "protocol/json_value.h"

namespace {

using Kind = Capture::Kind;

constexpr std::pair<Kind, std::string_view> kKinds[] = {{Kind::kValue, "value"},
                                                        {Kind::kTree, "tree"},
                                                        {Kind::kService, "service"},
                                                        {Kind::kTask, "task"},
                                                        {Kind::kFile, "file"}};

std::string KindWord(Kind kind) {
  for (const auto& [each, word] : kKinds) {
    if (each == kind) return std::string(word);
  }
  return {};
}

std::string Hex16(uint64_t n) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(n));
  return text;
}

std::string Bool(bool value) { return value ? "true" : "false"; }

std::string Member(std::string_view name, const std::string& json) {
  std::string member(1, ',');
  member += JsonQuote(name);
  member += ':';
  member += json;
  return member;
}

std::string ValueJson(const std::string& name, const platform::RegistryValue& value) {
  return "{\"name\":" + JsonQuote(name) + ",\"type\":" + std::to_string(value.type) +
         ",\"data\":" + JsonQuote(Base64Encode(value.data)) + "}";
}

std::string Captures(const std::vector<Capture>& captures) {
  std::string json = "[";
  for (const Capture& capture : captures) {
    if (json.size() > 1) json += ',';
    json += CaptureJson(capture);
  }
  return json + "]";
}

std::string Texts(const std::vector<std::string>& texts) {
  std::string json = "[";
  for (const std::string& text : texts) {
    if (json.size() > 1) json += ',';
    json += JsonQuote(text);
  }
  return json + "]";
}

// Readers of one member; each fails the whole line by returning false.
template <typename T>
bool Unsigned(const JsonValue& object, std::string_view name, T* out) {
  const JsonValue* member = JsonMember(object, name);
  if (member == nullptr || member->kind != JsonValue::Kind::kNumber) return false;
  const std::string& text = member->text;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *out);
  return error == std::errc() && end == text.data() + text.size();
}

bool Text(const JsonValue& object, std::string_view name, std::string* out) {
  const std::optional<std::string> text = JsonStringMember(object, name);
  if (!text) return false;
  *out = *text;
  return true;
}

bool Flag(const JsonValue& object, std::string_view name, bool* out) {
  const JsonValue* member = JsonMember(object, name);
  if (member == nullptr || member->kind != JsonValue::Kind::kBool) return false;
  *out = member->boolean;
  return true;
}

bool Bytes(const JsonValue& object, std::string_view name, std::string* out) {
  std::string text;
  if (!Text(object, name, &text)) return false;
  std::optional<std::string> bytes = Base64Decode(text);
  if (!bytes) return false;
  *out = std::move(*bytes);
  return true;
}

const JsonValue* Array(const JsonValue& object, std::string_view name) {
  const JsonValue* member = JsonMember(object, name);
  return member != nullptr && member->kind == JsonValue::Kind::kArray ? member : nullptr;
}

bool RegistryValueFromJson(const JsonValue& json, std::string* name, platform::RegistryValue* value) {
  return json.kind == JsonValue::Kind::kObject && Text(json, "name", name) && Unsigned(json, "type", &value->type) &&
         Bytes(json, "data", &value->data);
}

bool CapturesFromJson(const JsonValue* array, std::vector<Capture>* captures) {
  if (array == nullptr) return false;
  for (const JsonValue& item : array->items) {
    Capture capture;
    if (!CaptureFromJson(item, &capture)) return false;
    captures->push_back(std::move(capture));
  }
  return true;
}

bool TextsFromJson(const JsonValue* array, std::vector<std::string>* texts) {
  if (array == nullptr) return false;
  for (const JsonValue& item : array->items) {
    if (item.kind != JsonValue::Kind::kString) return false;
    texts->push_back(item.text);
  }
  return true;
}

bool RunFromJson(const JsonValue& json, JournalRun* run) {
  if (!Text(json, "id", &run->id) || run->id.empty() || !Text(json, "start", &run->start) ||
      !Text(json, "kind", &run->kind) || (run->kind != "apply" && run->kind != "undo")) {
    return false;
  }
  if (run->kind == "undo" && !Text(json, "undoes", &run->undoes)) return false;
  return JsonMember(json, "restorePoint") == nullptr || Flag(json, "restorePoint", &run->restorePoint);
}

bool EntryFromJson(const JsonValue& json, JournalEntry* entry) {
  if (!Unsigned(json, "n", &entry->n) || !Text(json, "key", &entry->key) || !Text(json, "name", &entry->name) ||
      !Text(json, "reversibility", &entry->reversibility) || !CapturesFromJson(Array(json, "before"), &entry->before) ||
      !TextsFromJson(Array(json, "missed"), &entry->missed)) {
    return false;
  }
  const JsonValue* lost = Array(json, "lost");
  if (lost == nullptr) return false;
  for (const JsonValue& item : lost->items) {
    LostStep step;
    if (item.kind != JsonValue::Kind::kObject || !Text(item, "family", &step.family) ||
        !Text(item, "summary", &step.summary)) {
      return false;
    }
    entry->lost.push_back(std::move(step));
  }
  return JsonMember(json, "undoes") == nullptr || Unsigned(json, "undoes", &entry->undoes);
}

// The run a tweak or outcome line belongs to: the last one opened with its
// id. Lines of a run always follow its run line.
JournalRun* RunOf(JournalText& journal, const JsonValue& json) {
  std::string id;
  if (!Text(json, "run", &id)) return nullptr;
  for (auto run = journal.runs.rbegin(); run != journal.runs.rend(); ++run) {
    if (run->id == id) return &*run;
  }
  return nullptr;
}

bool ReadLine(JournalText& journal, std::string_view line) {
  const std::optional<JsonValue> json = ParseJson(line);
  if (!json || json->kind != JsonValue::Kind::kObject) return false;
  std::string type;
  if (!Text(*json, "t", &type)) return false;
  if (type == "run") {
    JournalRun run;
    if (!RunFromJson(*json, &run)) return false;
    for (const JournalRun& other : journal.runs) {
      if (other.id == run.id) return false;
    }
    journal.runs.push_back(std::move(run));
    return true;
  }
  JournalRun* run = RunOf(journal, *json);
  if (run == nullptr) return false;
  if (type == "tweak") {
    JournalEntry entry;
    if (!EntryFromJson(*json, &entry) || entry.n != static_cast<int32_t>(run->entries.size())) return false;
    run->entries.push_back(std::move(entry));
    return true;
  }
  if (type != "outcome") return false;
  int32_t n = -1;
  if (!Unsigned(*json, "n", &n) || n >= static_cast<int32_t>(run->entries.size())) return false;
  JournalEntry& entry = run->entries[static_cast<size_t>(n)];
  std::vector<Capture> after;
  bool ok = false;
  if (entry.finished || !Flag(*json, "ok", &ok) || !CapturesFromJson(Array(*json, "after"), &after)) return false;
  entry.finished = true;
  entry.ok = ok;
  entry.after = std::move(after);
  return true;
}

}  // namespace

std::string CaptureJson(const Capture& capture) {
  std::string json = "{\"k\":" + JsonQuote(KindWord(capture.kind));
  switch (capture.kind) {
    case Kind::kValue:
      json += Member("key", JsonQuote(capture.target)) + Member("name", JsonQuote(capture.name)) +
              Member("present", Bool(capture.present));
      if (capture.present) {
        json += Member("type", std::to_string(capture.value.type)) +
                Member("data", JsonQuote(Base64Encode(capture.value.data)));
      }
      break;
    case Kind::kTree: {
      json += Member("key", JsonQuote(capture.target)) + Member("present", Bool(capture.present));
      std::string keys = "[";
      for (const RegistryKeyState& key : capture.keys) {
        if (keys.size() > 1) keys += ',';
        keys += "{\"path\":" + JsonQuote(key.path) + ",\"values\":[";
        for (size_t i = 0; i < key.values.size(); ++i) {
          if (i > 0) keys += ',';
          keys += ValueJson(key.values[i].first, key.values[i].second);
        }
        keys += "]}";
      }
      if (capture.present) json += Member("keys", keys + "]");
      break;
    }
    case Kind::kService:
      json += Member("name", JsonQuote(capture.target)) + Member("present", Bool(capture.present));
      if (capture.present) {
        json += Member("start", std::to_string(capture.startType)) + Member("delayed", Bool(capture.delayed));
      }
      break;
    case Kind::kTask:
      json += Member("path", JsonQuote(capture.target)) + Member("present", Bool(capture.present));
      if (capture.present) json += Member("enabled", Bool(capture.enabled));
      break;
    case Kind::kFile:
      json += Member("path", JsonQuote(capture.target)) + Member("present", Bool(capture.present));
      if (capture.present) {
        json += Member("size", std::to_string(capture.size)) + Member("digest", JsonQuote(Hex16(capture.digest)));
        if (capture.keepsContent) json += Member("data", JsonQuote(Base64Encode(capture.content)));
      }
      break;
  }
  if (!capture.made.empty()) json += Member("made", JsonQuote(capture.made));
  return json + "}";
}

bool CaptureFromJson(const JsonValue& json, Capture* capture) {
  std::string kind;
  if (json.kind != JsonValue::Kind::kObject || !Text(json, "k", &kind)) return false;
  bool known = false;
  for (const auto& [each, word] : kKinds) {
    if (word == kind) {
      capture->kind = each;
      known = true;
    }
  }
  const char* targetName = capture->kind == Kind::kValue || capture->kind == Kind::kTree ? "key"
                           : capture->kind == Kind::kService                             ? "name"
                                                                                         : "path";
  if (!known || !Text(json, targetName, &capture->target) || capture->target.empty() ||
      !Flag(json, "present", &capture->present)) {
    return false;
  }
  if (JsonMember(json, "made") != nullptr && !Text(json, "made", &capture->made)) return false;
  if (capture->kind == Kind::kValue && !Text(json, "name", &capture->name)) return false;
  if (!capture->present) return true;
  switch (capture->kind) {
    case Kind::kValue: return Unsigned(json, "type", &capture->value.type) && Bytes(json, "data", &capture->value.data);
    case Kind::kTree: {
      const JsonValue* keys = Array(json, "keys");
      if (keys == nullptr || keys->items.empty()) return false;
      for (const JsonValue& item : keys->items) {
        RegistryKeyState key;
        const JsonValue* values = item.kind == JsonValue::Kind::kObject ? Array(item, "values") : nullptr;
        if (values == nullptr || !Text(item, "path", &key.path)) return false;
        for (const JsonValue& each : values->items) {
          std::pair<std::string, platform::RegistryValue> value;
          if (!RegistryValueFromJson(each, &value.first, &value.second)) return false;
          key.values.push_back(std::move(value));
        }
        capture->keys.push_back(std::move(key));
      }
      // The recorded key itself comes first.
      return capture->keys.front().path.empty();
    }
    case Kind::kService:
      return Unsigned(json, "start", &capture->startType) && Flag(json, "delayed", &capture->delayed);
    case Kind::kTask: return Flag(json, "enabled", &capture->enabled);
    case Kind::kFile: {
      std::string digest;
      if (!Unsigned(json, "size", &capture->size) || !Text(json, "digest", &digest) || digest.size() != 16) {
        return false;
      }
      const auto [end, error] = std::from_chars(digest.data(), digest.data() + 16, capture->digest, 16);
      if (error != std::errc() || end != digest.data() + 16) return false;
      capture->keepsContent = JsonMember(json, "data") != nullptr;
      if (!capture->keepsContent) return true;
      return Bytes(json, "data", &capture->content) && capture->content.size() == capture->size &&
             Fnv1a(capture->content) == capture->digest;
    }
  }
  return false;
}

JournalText ReadJournal(std::string_view text) {
  JournalText journal;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      journal.tornTail = true;
      break;
    }
    if (!ReadLine(journal, text.substr(start, end - start))) ++journal.damagedLines;
    start = end + 1;
  }
  return journal;
}

std::string RunLine(const JournalRun& run) {
  std::string line = "{\"t\":\"run\",\"id\":" + JsonQuote(run.id) + Member("start", JsonQuote(run.start)) +
                     Member("kind", JsonQuote(run.kind));
  if (run.kind == "undo") line += Member("undoes", JsonQuote(run.undoes));
  if (run.restorePoint) line += Member("restorePoint", "true");
  return line + "}\n";
}

std::string EntryLine(const std::string& runId, const JournalEntry& entry) {
  std::string lost = "[";
  for (const LostStep& step : entry.lost) {
    if (lost.size() > 1) lost += ',';
    lost += "{\"family\":" + JsonQuote(step.family) + ",\"summary\":" + JsonQuote(step.summary) + "}";
  }
  std::string line = "{\"t\":\"tweak\",\"run\":" + JsonQuote(runId) + Member("n", std::to_string(entry.n)) +
                     Member("key", JsonQuote(entry.key)) + Member("name", JsonQuote(entry.name)) +
                     Member("reversibility", JsonQuote(entry.reversibility)) +
                     Member("before", Captures(entry.before)) + Member("missed", Texts(entry.missed)) +
                     Member("lost", lost + "]");
  if (entry.undoes >= 0) line += Member("undoes", std::to_string(entry.undoes));
  return line + "}\n";
}

std::string OutcomeLine(const std::string& runId, const JournalEntry& entry) {
  return "{\"t\":\"outcome\",\"run\":" + JsonQuote(runId) + Member("n", std::to_string(entry.n)) +
         Member("ok", Bool(entry.ok)) + Member("after", Captures(entry.after)) + "}\n";
}

std::string JournalLines(const std::vector<JournalRun>& runs) {
  std::string text;
  for (const JournalRun& run : runs) {
    text += RunLine(run);
    for (const JournalEntry& entry : run.entries) {
      text += EntryLine(run.id, entry);
      if (entry.finished) text += OutcomeLine(run.id, entry);
    }
  }
  return text;
}

bool IsUndone(const JournalText& journal, const JournalRun& run, int32_t n) {
  for (const JournalRun& other : journal.runs) {
    if (other.kind != "undo" || other.undoes != run.id) continue;
    for (const JournalEntry& entry : other.entries) {
      if (entry.undoes == n && entry.finished && entry.ok) return true;
    }
  }
  return false;
}
