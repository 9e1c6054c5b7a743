#include "protocol/json_text.h"

#include <limits>

#include "platform/text.h"

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

// A cursor over JSON text for the strict reader.
struct Scanner {
  std::string_view text;
  size_t p = 0;
  bool At(char c) const { return p < text.size() && text[p] == c; }
  void SkipSpace() {
    while (p < text.size() && (text[p] == ' ' || text[p] == '\t' || text[p] == '\n' || text[p] == '\r')) ++p;
  }
};

constexpr int kMaxDepth = 64;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads the string at the cursor. Into `out` (when given) its escapes are
// decoded as far as names compare: a character beyond ASCII becomes 0xFF,
// which no key holds.
bool ReadString(Scanner& s, std::string* out) {
  if (!s.At('"')) return false;
  for (++s.p; s.p < s.text.size(); ++s.p) {
    const char c = s.text[s.p];
    if (c == '"') {
      ++s.p;
      return true;
    }
    if (static_cast<unsigned char>(c) < 0x20) return false;
    if (c != '\\') {
      if (out) *out += c;
      continue;
    }
    if (++s.p >= s.text.size()) return false;
    char decoded = 0;
    switch (s.text[s.p]) {
      case '"': decoded = '"'; break;
      case '\\': decoded = '\\'; break;
      case '/': decoded = '/'; break;
      case 'b': decoded = '\b'; break;
      case 'f': decoded = '\f'; break;
      case 'n': decoded = '\n'; break;
      case 'r': decoded = '\r'; break;
      case 't': decoded = '\t'; break;
      case 'u': {
        if (s.p + 4 >= s.text.size()) return false;
        int unit = 0;
        for (int i = 1; i <= 4; ++i) {
          const int digit = HexValue(s.text[s.p + static_cast<size_t>(i)]);
          if (digit < 0) return false;
          unit = unit * 16 + digit;
        }
        s.p += 4;
        decoded = unit < 0x80 ? static_cast<char>(unit) : '\xFF';
        break;
      }
      default: return false;
    }
    if (out) *out += decoded;
  }
  return false;
}

// -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
bool SkipNumber(Scanner& s) {
  if (s.At('-')) ++s.p;
  if (s.At('0')) {
    ++s.p;
  } else if (s.p < s.text.size() && IsDigit(s.text[s.p])) {
    while (s.p < s.text.size() && IsDigit(s.text[s.p])) ++s.p;
  } else {
    return false;
  }
  if (s.At('.')) {
    ++s.p;
    if (s.p >= s.text.size() || !IsDigit(s.text[s.p])) return false;
    while (s.p < s.text.size() && IsDigit(s.text[s.p])) ++s.p;
  }
  if (s.At('e') || s.At('E')) {
    ++s.p;
    if (s.At('+') || s.At('-')) ++s.p;
    if (s.p >= s.text.size() || !IsDigit(s.text[s.p])) return false;
    while (s.p < s.text.size() && IsDigit(s.text[s.p])) ++s.p;
  }
  return true;
}

bool SkipValue(Scanner& s, int depth) {
  s.SkipSpace();
  if (s.p >= s.text.size()) return false;
  const char c = s.text[s.p];
  if (c == '"') return ReadString(s, nullptr);
  if (c == '-' || IsDigit(c)) return SkipNumber(s);
  for (std::string_view literal : {"true", "false", "null"}) {
    if (s.text.substr(s.p, literal.size()) == literal) {
      s.p += literal.size();
      return true;
    }
  }
  if ((c != '{' && c != '[') || depth >= kMaxDepth) return false;
  const char close = c == '{' ? '}' : ']';
  ++s.p;
  s.SkipSpace();
  if (s.At(close)) {
    ++s.p;
    return true;
  }
  for (;;) {
    if (c == '{') {
      s.SkipSpace();
      if (!ReadString(s, nullptr)) return false;
      s.SkipSpace();
      if (!s.At(':')) return false;
      ++s.p;
    }
    if (!SkipValue(s, depth + 1)) return false;
    s.SkipSpace();
    if (s.At(',')) {
      ++s.p;
      continue;
    }
    if (!s.At(close)) return false;
    ++s.p;
    return true;
  }
}

// The text of the value of the top-level member `key`; nothing when `json`
// is not one well-formed object, or holds the key twice or not at all.
std::optional<std::string_view> TopLevelValue(std::string_view json, std::string_view key) {
  Scanner s{json};
  s.SkipSpace();
  if (!s.At('{')) return std::nullopt;
  ++s.p;
  s.SkipSpace();
  std::optional<std::string_view> found;
  if (s.At('}')) {
    ++s.p;
  } else {
    for (;;) {
      s.SkipSpace();
      std::string name;
      if (!ReadString(s, &name)) return std::nullopt;
      s.SkipSpace();
      if (!s.At(':')) return std::nullopt;
      ++s.p;
      s.SkipSpace();
      const size_t start = s.p;
      if (!SkipValue(s, 1)) return std::nullopt;
      if (name == key) {
        if (found) return std::nullopt;
        found = json.substr(start, s.p - start);
      }
      s.SkipSpace();
      if (s.At(',')) {
        ++s.p;
        continue;
      }
      if (!s.At('}')) return std::nullopt;
      ++s.p;
      break;
    }
  }
  s.SkipSpace();
  if (s.p != json.size()) return std::nullopt;
  return found;
}

// A plain integer within the 32-bit range at the cursor.
std::optional<int32_t> ReadPlainInt(Scanner& s) {
  const bool negative = s.At('-');
  if (negative) ++s.p;
  const size_t start = s.p;
  int64_t value = 0;
  while (s.p < s.text.size() && IsDigit(s.text[s.p])) {
    value = value * 10 + (s.text[s.p] - '0');
    if (value > int64_t{std::numeric_limits<int32_t>::max()} + 1) return std::nullopt;
    ++s.p;
  }
  const size_t digits = s.p - start;
  if (digits == 0 || (digits > 1 && s.text[start] == '0')) return std::nullopt;
  if (s.At('.') || s.At('e') || s.At('E')) return std::nullopt;
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max()) return std::nullopt;
  return static_cast<int32_t>(value);
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
  const std::optional<std::string_view> value = TopLevelValue(json, key);
  if (!value) return std::nullopt;
  Scanner s{*value};
  if (!s.At('[')) return std::nullopt;
  ++s.p;
  s.SkipSpace();
  std::vector<int32_t> out;
  if (s.At(']')) return out;
  for (;;) {
    s.SkipSpace();
    const std::optional<int32_t> id = ReadPlainInt(s);
    if (!id) return std::nullopt;
    out.push_back(*id);
    s.SkipSpace();
    if (s.At(',')) {
      ++s.p;
      continue;
    }
    // The value was read whole above, so "]" is its end.
    if (!s.At(']')) return std::nullopt;
    return out;
  }
}
