#pragma once
// Turns a catalogue row's script source into the row's script body: the batch
// text that the runner writes between its header and footer.

#include <string>
#include <string_view>

// The body of a source (docs/script-source.md). On a malformed source returns
// an empty text and sets *error to a message beginning with "line N: ".
std::string ExpandScriptSource(std::string_view source, std::string* error);
