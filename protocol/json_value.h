#pragma once
// A strict JSON reader for what comes from outside beyond the page's first
// commands: newer page commands, selection files, journal lines. It accepts
// exactly RFC 8259 text (UTF-8, no comments, no trailing commas, no duplicate
// member names) within a nesting limit, and gives a plain tree.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct JsonValue {
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
  Kind kind = Kind::kNull;
  bool boolean = false;
  std::string text;  // a string's decoded UTF-8, or a number as written
  // An array's items; an object's member values, named by `keys` in the same
  // order (two lists, as a pair cannot hold a type still being declared).
  std::vector<JsonValue> items;
  std::vector<std::string> keys;
};

inline constexpr size_t kJsonMaxDepth = 64;

// The value of the whole text (whitespace around it allowed); nothing when the
// text is not one JSON value, or nests deeper than kJsonMaxDepth.
std::optional<JsonValue> ParseJson(std::string_view text);

// The same for JSON with comments, as editors write their settings: "//" and
// "/* */" comments outside strings and a comma before "}" or "]" are dropped
// first.
std::optional<JsonValue> ParseJsonWithComments(std::string_view text);

// The member `key` of an object; null when `value` is no object or has none.
const JsonValue* JsonMember(const JsonValue& value, std::string_view key);

// A number written as a plain integer (no fraction, no exponent) in the
// signed 32-bit range; nothing otherwise.
std::optional<int32_t> JsonInt32(const JsonValue& value);

// A string member's text; nothing when the member is missing or no string.
std::optional<std::string> JsonStringMember(const JsonValue& object, std::string_view key);
