#pragma once
// Text helpers of the page protocol: UTF-8/UTF-16 conversion, the JSON string
// escaper, and two minimal field readers for page commands. The readers are
// not a JSON parser: they find the quoted key by plain substring search and
// read what follows with a few fixed rules, returning an empty result when
// that fails. All functions are pure and thread-safe.

#include <cstdint>
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

// The integers of the array after the first occurrence of "key". Runs of
// digits and '-' are tokens, converted by the C library's rules and clamped to
// the 32-bit range; every other byte separates tokens; the first ']' ends the
// array. Empty when the key is missing or not followed by '['.
std::vector<int32_t> JsonGetIntArray(std::string_view json, std::string_view key);
