#pragma once
// UTF-8 <-> UTF-16 conversion as the system's code-page converter does it for
// code page 65001 with no flags: explicit lengths (an embedded NUL is converted
// like any other character), U+FFFD for an unpaired surrogate and for each
// invalid or truncated UTF-8 sequence, surrogate pairs above U+FFFF.
// A converter failure gives an empty result.

#include <string>
#include <string_view>

namespace platform {

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

}  // namespace platform
