#include "protocol/json_text.h"

#include "platform/text.h"
#include "protocol/json_value.h"

std::string Utf16ToUtf8(std::u16string_view utf16) {
  if (utf16.empty()) return {};
  return platform::Utf16ToUtf8(utf16);
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  if (utf8.empty()) return {};
  return platform::Utf8ToUtf16(utf8);
}

std::string JsonEscape(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size() + 8);
  size_t runStart = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    // Bytes that need no escape are copied a run at a time.
    out.append(text, runStart, i - runStart);
    runStart = i + 1;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: {
        const char u[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
        out.append(u, sizeof u);
      }
    }
  }
  out.append(text, runStart, text.size() - runStart);
  return out;
}

std::string JsonQuote(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 10);
  out += '"';
  out += JsonEscape(text);
  out += '"';
  return out;
}

namespace {

// Position just past the first "key" and the spaces and colons after it, or
// npos when the quoted key does not occur.
size_t FindValueStart(std::string_view json, std::string_view key) {
  std::string needle;
  needle.reserve(key.size() + 2);
  needle += '"';
  needle += key;
  needle += '"';
  if (needle.size() > json.size()) return std::string_view::npos;
  size_t p = json.find(needle);
  if (p == std::string_view::npos) return p;
  p += needle.size();
  while (p < json.size() && (json[p] == ' ' || json[p] == ':')) ++p;
  return p;
}

}  // namespace

std::string JsonGetString(std::string_view json, std::string_view key) {
  size_t p = FindValueStart(json, key);
  if (p >= json.size() || json[p] != '"') return {};
  std::string out;
  for (++p; p < json.size(); ++p) {
    const char c = json[p];
    if (c == '"') break;
    if (c == '\\' && p + 1 < json.size()) ++p;
    out += json[p];
  }
  return out;
}

std::optional<std::vector<int32_t>> JsonGetIntArray(std::string_view json, std::string_view key) {
  const std::optional<JsonValue> parsed = ParseJson(json);
  if (!parsed || parsed->kind != JsonValue::Kind::kObject) return std::nullopt;
  const JsonValue* array = JsonMember(*parsed, key);
  if (array == nullptr || array->kind != JsonValue::Kind::kArray) return std::nullopt;
  std::vector<int32_t> out;
  out.reserve(array->items.size());
  for (const JsonValue& item : array->items) {
    const std::optional<int32_t> id = JsonInt32(item);
    if (!id) return std::nullopt;
    out.push_back(*id);
  }
  return out;
}
