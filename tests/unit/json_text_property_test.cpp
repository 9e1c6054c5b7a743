// Randomised properties of the escaper and the readers; run under ASan/UBSan
// so any read outside the input is reported.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>

#include "protocol/json_text.h"

namespace {

// Strict JSON string-literal checker: returns the decoded UTF-8 bytes, or
// nothing when the text is not exactly one valid JSON string.
std::optional<std::string> ParseJsonString(const std::string& s) {
  if (s.size() < 2 || s.front() != '"' || s.back() != '"') return std::nullopt;
  std::string out;
  for (size_t i = 1; i + 1 < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c == '"' || c < 0x20) return std::nullopt;
    if (c != '\\') {
      out += static_cast<char>(c);
      continue;
    }
    if (++i + 1 >= s.size()) return std::nullopt;
    switch (s[i]) {
      case '"': out += '"'; break;
      case '\\': out += '\\'; break;
      case '/': out += '/'; break;
      case 'b': out += '\b'; break;
      case 'f': out += '\f'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'u': {
        if (i + 4 > s.size() - 2) return std::nullopt;
        const std::string hex = s.substr(i + 1, 4);
        if (hex.find_first_not_of("0123456789abcdef") != std::string::npos) return std::nullopt;
        const unsigned long v = std::stoul(hex, nullptr, 16);
        if (v >= 0x80) return std::nullopt;  // the escaper only escapes control bytes
        out += static_cast<char>(v);
        i += 4;
        break;
      }
      default: return std::nullopt;
    }
  }
  return out;
}

bool IsValidUtf8(const std::string& s) {
  // A round trip through UTF-16 is lossless exactly for valid UTF-8.
  return Utf16ToUtf8(Utf8ToUtf16(s)) == s;
}

std::string RandomBytes(std::mt19937& rng, size_t maxLen, bool asciiHeavy) {
  std::uniform_int_distribution<size_t> len(0, maxLen);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> pick(0, 9);
  static constexpr char kJsonish[] = "\"\\:[], -0123456789abcdkeyidsmc";
  std::string s(len(rng), '\0');
  for (char& c : s) {
    c = asciiHeavy && pick(rng) < 7 ? kJsonish[static_cast<size_t>(byte(rng)) % (sizeof kJsonish - 1)]
                                    : static_cast<char>(byte(rng));
  }
  return s;
}

TEST(JsonQuoteProperty, OutputIsAJsonStringThatDecodesToTheInput) {
  std::mt19937 rng(20261208);
  int validSeen = 0;
  for (int i = 0; i < 20000; ++i) {
    const std::string input = RandomBytes(rng, 64, i % 2 == 0);
    const std::string quoted = JsonQuote(input);
    const auto decoded = ParseJsonString(quoted);
    ASSERT_TRUE(decoded.has_value()) << quoted;
    // Structural validity holds for any bytes; the value round-trips as text
    // wherever the input is valid UTF-8.
    if (IsValidUtf8(input)) {
      ++validSeen;
      ASSERT_EQ(*decoded, input);
    }
  }
  EXPECT_GT(validSeen, 1000);
}

TEST(JsonReadersProperty, NeverReadOutsideTheirInput) {
  std::mt19937 rng(4312);
  size_t nonEmpty = 0;
  for (int i = 0; i < 20000; ++i) {
    const std::string key = RandomBytes(rng, 4, true);
    std::string text = RandomBytes(rng, 80, true);
    if (i % 2 == 0) {
      // Plant the quoted key so the value readers get exercised, not just the search.
      static constexpr const char* kGlue[] = {":", " : ", "", ":[", ":\"", ": ["};
      const size_t at = text.empty() ? 0 : rng() % text.size();
      text.insert(at, "\"" + key + "\"" + kGlue[rng() % 6]);
    }
    // Exact-size heap copies so that ASan sees any read past either end.
    auto textBuf = std::make_unique<char[]>(text.size());
    auto keyBuf = std::make_unique<char[]>(key.size());
    std::copy(text.begin(), text.end(), textBuf.get());
    std::copy(key.begin(), key.end(), keyBuf.get());
    const std::string_view t(textBuf.get(), text.size());
    const std::string_view k(keyBuf.get(), key.size());
    const std::string value = JsonGetString(t, k);
    const auto ids = JsonGetIntArray(t, k);
    EXPECT_LE(value.size(), text.size());
    EXPECT_LE(ids ? ids->size() : 0, text.size());
    nonEmpty += value.empty() && (!ids || ids->empty()) ? 0 : 1;
  }
  EXPECT_GT(nonEmpty, 100u);
}

}  // namespace
