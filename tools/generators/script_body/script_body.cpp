#include "tools/generators/script_body/script_body.h"

#include "tools/generators/script_body/body_format.h"
#include "tools/generators/script_body/families.h"
#include "tools/generators/script_body/powershell_text.h"
#include "tools/generators/script_body/script_source.h"
#include "tools/generators/script_body/version_guard.h"

#include <array>
#include <vector>

namespace {

constexpr std::array<std::string_view, 2> kFlagParams = {"with-additional-permissions", "recursive"};
constexpr std::string_view kMinVersion = "min-version";
constexpr std::string_view kMaxVersion = "max-version";

const FamilyDef* FindFamily(std::string_view name) {
  for (auto group : {RegistryFamilies(), FileFamilies(), ServiceFamilies(), SystemFamilies()}) {
    for (const FamilyDef& family : group) {
      if (family.name == name) return &family;
    }
  }
  return nullptr;
}

bool Contains(const std::vector<std::string_view>& names, std::string_view name) {
  for (std::string_view candidate : names) {
    if (candidate == name) return true;
  }
  return false;
}

// Text of the source that ends up in the body. Delayed expansion, enabled by
// the wrapper, would eat an exclamation mark; "%~" is a fatal syntax error to
// cmd even on a comment line.
bool CheckText(std::string_view text, bool tab_allowed, bool batch_text, int line, std::string* error) {
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte > 126 || (byte < 32 && !(tab_allowed && c == '\t'))) {
      *error = LineError(line, "only printable ASCII characters are allowed");
      return false;
    }
    if (c == '!') {
      *error = LineError(line, "an exclamation mark would be eaten by the batch wrapper's delayed expansion");
      return false;
    }
  }
  if (!batch_text && text.find("%~") != std::string_view::npos) {
    *error = LineError(line, "\"%~\" is a batch syntax error even in a comment");
    return false;
  }
  return true;
}

constexpr std::array<std::string_view, 5> kCostClasses = {"none", "data", "feature", "breaks", "protection"};

// A cost class is one of the known words; its Russian reason must hold
// Cyrillic text; a documentation title is printable ASCII like the names.
bool CheckRowDirective(const SourceBlock& block, std::string* error) {
  if (block.kind == "cost") {
    for (std::string_view known : kCostClasses) {
      if (block.text == known) return true;
    }
    *error =
        LineError(block.line, "unknown cost class \"" + block.text + "\" (none, data, feature, breaks, protection)");
    return false;
  }
  if (block.kind == "cost-ru") {
    // Cyrillic letters are U+0400..U+04FF: lead bytes D0..D3 in UTF-8.
    for (char c : block.text) {
      auto byte = static_cast<unsigned char>(c);
      if (byte >= 0xD0 && byte <= 0xD3) return true;
    }
    *error = LineError(block.line, "cost-ru needs a Russian sentence");
    return false;
  }
  return CheckText(block.text, false, false, block.line, error);
}

bool CheckParams(const SourceBlock& block, const FamilyDef& family, std::string* error) {
  bool batch_family = family.name == "terminate-process";
  for (const SourceParam& param : block.params) {
    bool known = Contains(family.required, param.name) || Contains(family.optional, param.name) ||
                 (!batch_family && (param.name == kMinVersion || param.name == kMaxVersion));
    if (!known) {
      *error = LineError(param.line, std::string(family.name) + " takes no parameter \"" + param.name + "\"");
      return false;
    }
    if (!CheckText(param.value, false, false, param.line, error)) return false;
    for (std::string_view flag : kFlagParams) {
      if (param.name == flag && param.value != "yes" && param.value != "no") {
        *error = LineError(param.line, "\"" + param.name + "\" is yes or no");
        return false;
      }
    }
    if (param.name == kMinVersion && !IsKnownVersion(GuardKind::kMinimum, param.value)) {
      *error = LineError(param.line, "unknown minimum version name \"" + param.value + "\"");
      return false;
    }
    if (param.name == kMaxVersion && !IsKnownVersion(GuardKind::kMaximum, param.value)) {
      *error = LineError(param.line, "unknown maximum version name \"" + param.value + "\"");
      return false;
    }
  }
  for (std::string_view name : family.required) {
    if (Param(block, name).empty()) {
      *error = LineError(block.line, std::string(family.name) + " needs \"" + std::string(name) + "\"");
      return false;
    }
  }
  return true;
}

struct BodyWriter {
  std::string text;
  bool templated = false;

  void Line(std::string_view line) {
    text += line;
    text += '\n';
  }

  // False when the step line would be longer than cmd reads.
  bool AddStep(const Step& step, std::string_view min_version, std::string_view max_version) {
    if (!templated) Line(kFailureReset);
    templated = true;
    for (const std::string& comment : step.comments) Line(CommentLine(comment));
    if (!step.header.empty()) Line(CommentLine(step.header));
    if (!step.batch.empty()) {
      // The batch step records its failure itself.
      Line(step.batch);
      return true;
    }
    std::string guard;
    if (!min_version.empty()) {
      Line(CommentLine(VersionNote(GuardKind::kMinimum, min_version)));
      guard = VersionGuardScript(GuardKind::kMinimum, min_version);
    }
    if (!max_version.empty()) {
      Line(CommentLine(VersionNote(GuardKind::kMaximum, max_version)));
      guard = JoinStatements({guard, VersionGuardScript(GuardKind::kMaximum, max_version)});
    }
    std::string line = EncodeStepLine(JoinStatements({kModulePathReset, guard, step.script}));
    if (line.size() > kMaxLineLength) return false;
    Line(line);
    Line(kFailureRecord);
    return true;
  }
};

}  // namespace

std::string ExpandScriptSource(std::string_view source, std::string* error) {
  std::vector<SourceBlock> blocks = ParseScriptSource(source, error);
  if (blocks.empty()) return {};
  BodyWriter body;
  for (const SourceBlock& block : blocks) {
    if (block.kind == "title" || block.kind == "comment") {
      if (!CheckText(block.text, false, false, block.line, error)) return {};
      if (block.kind == "comment") {
        body.Line(CommentLine(block.text));
      } else {
        body.Line(SeparatorLine());
        body.Line(BannerLine(block.text));
        body.Line(SeparatorLine());
      }
      continue;
    }
    if (IsRowDirective(block.kind)) {
      if (!CheckRowDirective(block, error)) return {};
      continue;
    }
    if (block.kind == "separator") {
      body.Line(SeparatorLine());
      continue;
    }
    if (block.kind == "plain") {
      for (size_t i = 0; i < block.lines.size(); ++i) {
        if (!CheckText(block.lines[i], true, true, block.line + 1 + static_cast<int>(i), error)) return {};
        body.Line(block.lines[i]);
      }
      continue;
    }
    const FamilyDef* family = FindFamily(block.kind);
    if (family == nullptr) {
      *error = LineError(block.line, "unknown step family \"" + block.kind + "\"");
      return {};
    }
    if (!CheckParams(block, *family, error)) return {};
    std::vector<Step> steps;
    if (!family->expand(block, &steps, error)) return {};
    for (const Step& step : steps) {
      if (!body.AddStep(step, Param(block, kMinVersion), Param(block, kMaxVersion))) {
        *error = LineError(block.line, "the step line would be longer than the 8191 characters cmd reads");
        return {};
      }
    }
  }
  if (body.templated) body.Line(kFailureExit);
  return body.text;
}
