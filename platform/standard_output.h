#pragma once

#include <string_view>

namespace platform {

// Both take UTF-8. To a file or a pipe it goes as those bytes; to a console
// (Windows) as its characters, whatever code page the console shows.

// Writes `line` and a single LF to standard output, unbuffered and without
// any newline translation. False when the output is gone.
bool WriteStandardOutputLine(std::string_view line);

// Writes `text` to standard error as it is; false when it is gone.
bool WriteStandardError(std::string_view text);

}  // namespace platform
