#include "tools/generators/script_body/script_source.h"

#include <cctype>

namespace {

bool IsBlank(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

bool IsName(std::string_view text) {
  if (text.empty() || !std::islower(static_cast<unsigned char>(text.front()))) return false;
  for (char c : text) {
    if (!std::islower(static_cast<unsigned char>(c)) && !std::isdigit(static_cast<unsigned char>(c)) && c != '-') {
      return false;
    }
  }
  return true;
}

// Splits "name: value" (or "name:" with an empty value). False when the line
// has no colon after a valid name.
bool SplitNameValue(std::string_view line, std::string_view* name, std::string_view* value) {
  size_t colon = line.find(':');
  if (colon == std::string_view::npos || !IsName(line.substr(0, colon))) return false;
  *name = line.substr(0, colon);
  std::string_view rest = line.substr(colon + 1);
  if (!rest.empty() && rest.front() != ' ') return false;
  *value = rest.empty() ? rest : rest.substr(1);
  return true;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace

bool IsRowDirective(std::string_view name) { return name == "cost" || name == "cost-ru" || name == "docs"; }

std::string LineError(int line, std::string_view message) {
  return "line " + std::to_string(line) + ": " + std::string(message);
}

std::vector<SourceBlock> ParseScriptSource(std::string_view source, std::string* error) {
  std::vector<SourceBlock> blocks;
  std::vector<std::string_view> lines = SplitLines(source);
  auto fail = [&](int line, std::string_view message) {
    *error = LineError(line, message);
    return std::vector<SourceBlock>{};
  };
  for (size_t i = 0; i < lines.size(); ++i) {
    int number = static_cast<int>(i) + 1;
    std::string_view line = lines[i];
    if (line.find('\r') != std::string_view::npos) return fail(number, "carriage return (lines must end with LF only)");
    if (IsBlank(line) || line.front() == '#') continue;
    if (line.front() == ' ' || line.front() == '\t') return fail(number, "indented line outside a block");
    if (line == "separator") {
      blocks.push_back({"separator", number, {}, {}, {}});
      continue;
    }
    std::string_view name, value;
    if (!SplitNameValue(line, &name, &value)) {
      return fail(number, "expected \"family:\", a directive \"name: text\" or \"separator\"");
    }
    if (name == "title" || name == "comment" || IsRowDirective(name)) {
      if (value.empty()) return fail(number, std::string(name) + " without text");
      blocks.push_back({std::string(name), number, std::string(value), {}, {}});
      continue;
    }
    // "plain: text" names what the block's commands do; a family block takes
    // nothing after its colon.
    if (!value.empty() && name != "plain")
      return fail(number, "a block line \"" + std::string(name) + ":\" takes nothing after the colon");
    SourceBlock block{std::string(name), number, std::string(value), {}, {}};
    // The block's lines: every following line indented by two spaces. In a
    // plain block, empty lines between indented lines belong to the block.
    size_t j = i + 1;
    size_t last = i;
    for (; j < lines.size(); ++j) {
      std::string_view inner = lines[j];
      if (inner.find('\r') != std::string_view::npos) {
        return fail(static_cast<int>(j) + 1, "carriage return (lines must end with LF only)");
      }
      if (inner.empty()) continue;
      if (inner.substr(0, 2) != "  ") break;
      last = j;
    }
    for (size_t k = i + 1; k <= last; ++k) {
      int inner_number = static_cast<int>(k) + 1;
      std::string_view inner = lines[k];
      std::string_view body = inner.empty() ? inner : inner.substr(2);
      if (block.kind == "plain") {
        block.lines.emplace_back(body);
        continue;
      }
      if (body.empty() || body.front() == '#') continue;
      std::string_view param_name, param_value;
      if (!SplitNameValue(body, &param_name, &param_value)) {
        return fail(inner_number, "expected a parameter line \"  name: value\"");
      }
      for (const SourceParam& seen : block.params) {
        if (seen.name == param_name) {
          return fail(inner_number, "parameter \"" + std::string(param_name) + "\" given twice");
        }
      }
      block.params.push_back({std::string(param_name), std::string(param_value), inner_number});
    }
    if (block.kind == "plain" && block.lines.empty()) return fail(number, "plain block without lines");
    blocks.push_back(std::move(block));
    i = last;
  }
  if (blocks.empty()) *error = "the source holds no block";
  return blocks;
}
