#pragma once
// The row source format: what a catalogue row's script source says, before any
// family template is applied. A source is a list of blocks in order; docs/
// script-source.md describes the syntax.

#include <string>
#include <string_view>
#include <vector>

struct SourceParam {
  std::string name;
  std::string value;
  int line = 0;  // 1-based line of the source that holds the parameter
};

struct SourceBlock {
  // A step family ("set-registry-value", ...), "plain" for raw batch lines,
  // one of the one-line directives "title", "comment", "separator", or a row
  // directive ("cost", "cost-ru", "docs") that describes the row and never
  // reaches the body.
  std::string kind;
  int line = 0;                     // 1-based line where the block starts
  std::string text;                 // the directive's text (title, comment), a plain block's summary
  std::vector<SourceParam> params;  // a family's parameters, in source order
  std::vector<std::string> lines;   // a plain block's batch lines
};

// Splits a source into blocks. On a malformed source returns an empty list
// and sets *error to a message that begins with "line N: ".
std::vector<SourceBlock> ParseScriptSource(std::string_view source, std::string* error);

// The one-line directives that describe the row rather than add to its body.
bool IsRowDirective(std::string_view name);

// "line N: " + message.
std::string LineError(int line, std::string_view message);
