#pragma once
// Base64 (RFC 4648, with padding) for raw bytes kept in JSON text.

#include <optional>
#include <string>
#include <string_view>

std::string Base64Encode(std::string_view bytes);
// Nothing for anything but canonical padded base64 (no whitespace).
std::optional<std::string> Base64Decode(std::string_view text);
