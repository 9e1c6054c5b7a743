#include "protocol/json_value.h"

#include <charconv>

namespace {

struct Reader {
  std::string_view text;
  size_t pos = 0;

  bool AtEnd() const { return pos >= text.size(); }
  char Peek() const { return AtEnd() ? '\0' : text[pos]; }

  void SkipSpace() {
    while (!AtEnd() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\n' || text[pos] == '\r')) ++pos;
  }

  bool Literal(std::string_view word) {
    if (text.substr(pos, word.size()) != word) return false;
    pos += word.size();
    return true;
  }
};

void AppendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Length of the well-formed UTF-8 sequence at the reader, 0 when ill-formed.
size_t Utf8SequenceLength(std::string_view text, size_t pos) {
  const auto byte = [&](size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
  const unsigned lead = byte(pos);
  const auto continuation = [&](size_t i, unsigned low, unsigned high) { return byte(i) >= low && byte(i) <= high; };
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return continuation(pos + 1, 0x80, 0xBF) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    const unsigned low = lead == 0xE0 ? 0xA0 : 0x80;
    const unsigned high = lead == 0xED ? 0x9F : 0xBF;
    return continuation(pos + 1, low, high) && continuation(pos + 2, 0x80, 0xBF) ? 3 : 0;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    const unsigned low = lead == 0xF0 ? 0x90 : 0x80;
    const unsigned high = lead == 0xF4 ? 0x8F : 0xBF;
    return continuation(pos + 1, low, high) && continuation(pos + 2, 0x80, 0xBF) && continuation(pos + 3, 0x80, 0xBF)
               ? 4
               : 0;
  }
  return 0;
}

bool ReadHex4(Reader& r, uint32_t* code) {
  if (r.pos + 4 > r.text.size()) return false;
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    const char c = r.text[r.pos++];
    value <<= 4;
    if (c >= '0' && c <= '9') {
      value |= static_cast<uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      value |= static_cast<uint32_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      value |= static_cast<uint32_t>(c - 'A' + 10);
    } else {
      return false;
    }
  }
  *code = value;
  return true;
}

// After the opening quote; a lone surrogate escape is refused, as is any
// control character or ill-formed UTF-8.
bool ReadString(Reader& r, std::string* out) {
  while (!r.AtEnd()) {
    const char c = r.text[r.pos];
    if (c == '"') {
      ++r.pos;
      return true;
    }
    if (static_cast<unsigned char>(c) < 0x20) return false;
    if (c != '\\') {
      const size_t length = Utf8SequenceLength(r.text, r.pos);
      if (length == 0) return false;
      out->append(r.text.substr(r.pos, length));
      r.pos += length;
      continue;
    }
    ++r.pos;
    const char escape = r.Peek();
    ++r.pos;
    switch (escape) {
      case '"': *out += '"'; break;
      case '\\': *out += '\\'; break;
      case '/': *out += '/'; break;
      case 'b': *out += '\b'; break;
      case 'f': *out += '\f'; break;
      case 'n': *out += '\n'; break;
      case 'r': *out += '\r'; break;
      case 't': *out += '\t'; break;
      case 'u': {
        uint32_t code = 0;
        if (!ReadHex4(r, &code)) return false;
        if (code >= 0xDC00 && code <= 0xDFFF) return false;
        if (code >= 0xD800 && code <= 0xDBFF) {
          uint32_t low = 0;
          if (!r.Literal("\\u") || !ReadHex4(r, &low) || low < 0xDC00 || low > 0xDFFF) return false;
          code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        }
        AppendUtf8(*out, code);
        break;
      }
      default: return false;
    }
  }
  return false;
}

bool ReadNumber(Reader& r, std::string* out) {
  const size_t start = r.pos;
  const auto digits = [&r] {
    const size_t from = r.pos;
    while (r.Peek() >= '0' && r.Peek() <= '9') ++r.pos;
    return r.pos - from;
  };
  if (r.Peek() == '-') ++r.pos;
  if (r.Peek() == '0') {
    ++r.pos;
  } else if (digits() == 0) {
    return false;
  }
  if (r.Peek() == '.') {
    ++r.pos;
    if (digits() == 0) return false;
  }
  if (r.Peek() == 'e' || r.Peek() == 'E') {
    ++r.pos;
    if (r.Peek() == '+' || r.Peek() == '-') ++r.pos;
    if (digits() == 0) return false;
  }
  *out = std::string(r.text.substr(start, r.pos - start));
  return true;
}

bool ReadValue(Reader& r, JsonValue* value, size_t depth) {
  if (depth > kJsonMaxDepth) return false;
  r.SkipSpace();
  const char c = r.Peek();
  if (c == '{') {
    ++r.pos;
    value->kind = JsonValue::Kind::kObject;
    r.SkipSpace();
    if (r.Peek() == '}') {
      ++r.pos;
      return true;
    }
    while (true) {
      r.SkipSpace();
      std::string key;
      if (r.Peek() != '"') return false;
      ++r.pos;
      if (!ReadString(r, &key)) return false;
      if (JsonMember(*value, key) != nullptr) return false;
      r.SkipSpace();
      if (r.Peek() != ':') return false;
      ++r.pos;
      JsonValue member;
      if (!ReadValue(r, &member, depth + 1)) return false;
      value->keys.push_back(std::move(key));
      value->items.push_back(std::move(member));
      r.SkipSpace();
      if (r.Peek() == '}') {
        ++r.pos;
        return true;
      }
      if (r.Peek() != ',') return false;
      ++r.pos;
    }
  }
  if (c == '[') {
    ++r.pos;
    value->kind = JsonValue::Kind::kArray;
    r.SkipSpace();
    if (r.Peek() == ']') {
      ++r.pos;
      return true;
    }
    while (true) {
      JsonValue item;
      if (!ReadValue(r, &item, depth + 1)) return false;
      value->items.push_back(std::move(item));
      r.SkipSpace();
      if (r.Peek() == ']') {
        ++r.pos;
        return true;
      }
      if (r.Peek() != ',') return false;
      ++r.pos;
    }
  }
  if (c == '"') {
    ++r.pos;
    value->kind = JsonValue::Kind::kString;
    return ReadString(r, &value->text);
  }
  if (c == '-' || (c >= '0' && c <= '9')) {
    value->kind = JsonValue::Kind::kNumber;
    return ReadNumber(r, &value->text);
  }
  if (r.Literal("true")) {
    value->kind = JsonValue::Kind::kBool;
    value->boolean = true;
    return true;
  }
  if (r.Literal("false")) {
    value->kind = JsonValue::Kind::kBool;
    return true;
  }
  value->kind = JsonValue::Kind::kNull;
  return r.Literal("null");
}

}  // namespace

std::optional<JsonValue> ParseJson(std::string_view text) {
  Reader reader{text};
  JsonValue value;
  if (!ReadValue(reader, &value, 1)) return std::nullopt;
  reader.SkipSpace();
  if (!reader.AtEnd()) return std::nullopt;
  return value;
}

std::optional<JsonValue> ParseJsonWithComments(std::string_view text) {
  std::string plain;
  plain.reserve(text.size());
  size_t lastComma = std::string::npos;  // in `plain`, when only space has followed it
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      // Copy the whole string, escapes included.
      const size_t start = i;
      for (++i; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] == '\\') ++i;
      }
      plain.append(text.substr(start, i - start + 1));
      lastComma = std::string::npos;
    } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
      while (i < text.size() && text[i] != '\n') ++i;
      plain += '\n';
    } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
      const size_t end = text.find("*/", i + 2);
      if (end == std::string_view::npos) return std::nullopt;
      i = end + 1;
      plain += ' ';
    } else if ((c == '}' || c == ']') && lastComma != std::string::npos) {
      plain[lastComma] = ' ';
      plain += c;
      lastComma = std::string::npos;
    } else {
      if (c == ',') {
        lastComma = plain.size();
      } else if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
        lastComma = std::string::npos;
      }
      plain += c;
    }
  }
  return ParseJson(plain);
}

const JsonValue* JsonMember(const JsonValue& value, std::string_view key) {
  if (value.kind != JsonValue::Kind::kObject) return nullptr;
  for (size_t i = 0; i < value.keys.size(); ++i) {
    if (value.keys[i] == key) return &value.items[i];
  }
  return nullptr;
}

std::optional<int32_t> JsonInt32(const JsonValue& value) {
  if (value.kind != JsonValue::Kind::kNumber) return std::nullopt;
  const std::string& text = value.text;
  if (text.find_first_of(".eE") != std::string::npos) return std::nullopt;
  int32_t result = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), result);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return result;
}

std::optional<std::string> JsonStringMember(const JsonValue& object, std::string_view key) {
  const JsonValue* member = JsonMember(object, key);
  if (member == nullptr || member->kind != JsonValue::Kind::kString) return std::nullopt;
  return member->text;
}
