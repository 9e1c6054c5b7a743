#pragma once
// Text helpers of the page protocol: UTF-8/UTF-16 conversion, the JSON string
// escaper, and two field readers for page commands. JsonGetString is not a
// JSON parser: it finds the quoted key by plain substring search and reads
// what follows with a few fixed rules. JsonGetIntArray, whose ids decide what
// runs, reads the text with the strict reader (protocol/json_value.h). All
// functions are pure and thread-safe.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

std::string Utf16ToUtf8(std::u16string_view utf16);
std::u16string Utf8ToUtf16(std::string_view utf8);

// Escapes '"', '\\' and every byte below 0x20; all other bytes (UTF-8
// sequences, '/', DEL) are copied unchanged.
std::string JsonEscape(std::string_view text);
// '"' + JsonEscape(text) + '"'.
std::string JsonQuote(std::string_view text);

// The string value after the first occurrence of "key" (spaces and colons
// skipped). A backslash drops itself and keeps the next byte; no escape is
// decoded. Empty when the key is missing or not followed by a string.
std::string JsonGetString(std::string_view json, std::string_view key);

// The integers of the array that is the value of the top-level member `key`
// of the JSON object `json`. Nothing unless `json` is one JSON object (as
// ParseJson reads it: no duplicate member names) whose member `key` is an
// array of plain integers (no fraction, no exponent), each within the 32-bit
// range.
std::optional<std::vector<int32_t>> JsonGetIntArray(std::string_view json, std::string_view key);
