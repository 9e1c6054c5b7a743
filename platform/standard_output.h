#pragma once

#include <string_view>

namespace platform {

// Writes `line` and a single LF to standard output, unbuffered and without
// any newline translation. False when the output is gone.
bool WriteStandardOutputLine(std::string_view line);

}  // namespace platform
