#include "tools/generators/script_body/powershell_text.h"

#include "tools/generators/script_body/body_format.h"

namespace {

std::string_view Trim(std::string_view text) {
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

}  // namespace

std::string PsQuote(std::string_view value) {
  std::string quoted = "'";
  for (char c : value) {
    if (c == '\'') quoted += '\'';
    quoted += c;
  }
  quoted += '\'';
  return quoted;
}

std::string PsAssign(std::string_view variable, std::string_view value) {
  // Built by appending: "$" + std::string(...) trips a false -Wrestrict
  // warning of g++ 12 in optimised builds.
  std::string assignment = "$";
  assignment += variable;
  assignment += " = ";
  assignment += PsQuote(value);
  return assignment;
}

std::string JoinPowerShell(std::string_view text) {
  std::string joined;
  std::string_view previous;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = Trim(text.substr(start, end - start));
    start = end + 1;
    if (line.empty()) continue;
    if (!joined.empty()) {
      bool open = EndsWith(previous, "{") || EndsWith(previous, "(") || EndsWith(previous, ",") ||
                  EndsWith(previous, "|") || EndsWith(previous, "#>");
      bool close = line.front() == '}' || line.front() == ')';
      joined += open || close ? " " : "; ";
    }
    joined += line;
    previous = line;
  }
  return joined;
}

std::string JoinStatements(std::initializer_list<std::string_view> pieces) {
  std::string joined;
  for (std::string_view piece : pieces) {
    if (piece.empty()) continue;
    if (!joined.empty()) joined += "; ";
    joined += piece;
  }
  return joined;
}

std::string EncodeStepLine(std::string_view script) {
  std::string line(kStepLinePrefix);
  line += '"';
  for (char c : script) {
    if (c == '"') {
      line += "\"^\"\"";
    } else if (c == '%') {
      line += "%%";
    } else {
      line += c;
    }
  }
  line += '"';
  return line;
}
