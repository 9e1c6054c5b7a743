#include "tests/effects/row_state.h"

#include <memory>

#include "catalogue/tweak_index.h"
#include "platform/text.h"
#include "protocol/outbox.h"
#include "run/optimize_run.h"
#include "tools/generators/script_body/script_body.h"
#include "tools/generators/script_body/step_records.h"

namespace {

// An example source's model, kept for the process's life: the tweak's step
// records point into it.
struct ExampleRow {
  RowRecord record;
  std::vector<std::vector<StepParam>> params;
  std::vector<StepDef> steps;
};

std::vector<std::unique_ptr<ExampleRow>>& Examples() {
  static auto& examples = *new std::vector<std::unique_ptr<ExampleRow>>();
  return examples;
}

constexpr std::string_view kCatalogueFolder = "catalogue/scripts/";
constexpr std::string_view kExamples = "examples";

std::string CatalogueKey(const std::string& path) {
  const size_t at = path.find(kCatalogueFolder);
  if (at == std::string::npos || path.size() < 4 || path.compare(path.size() - 4, 4, ".txt") != 0) return "";
  const size_t start = at + kCatalogueFolder.size();
  return path.substr(start, path.size() - 4 - start);
}

Tweak ExampleTweak(const RowSource& row) {
  auto example = std::make_unique<ExampleRow>();
  example->record = DescribeRow(row.source);
  for (const StepRecord& step : example->record.steps) {
    std::vector<StepParam>& params = example->params.emplace_back();
    for (const SourceParam& param : step.params) params.push_back({param.name.c_str(), param.value.c_str()});
  }
  for (size_t i = 0; i < example->record.steps.size(); ++i) {
    const StepRecord& step = example->record.steps[i];
    example->steps.push_back({step.family.c_str(), step.summary.c_str(), step.undo, example->params[i]});
  }
  std::string error;
  Tweak tweak;
  tweak.name = row.path;
  tweak.script = ExpandScriptSource(row.source, &error);
  tweak.key = std::string(kExamples) + "/" + row.path.substr(row.path.rfind('/') + 1);
  tweak.steps = example->steps;
  Examples().push_back(std::move(example));
  return tweak;
}

}  // namespace

std::vector<const Tweak*> LoadRowTweaks(const std::vector<RowSource>& rows) {
  Catalogue catalogue = BuildCatalogue();
  Category examples{std::string(kExamples), std::string(kExamples), {}};
  for (const RowSource& row : rows) {
    if (CatalogueKey(row.path).empty()) examples.tweaks.push_back(ExampleTweak(row));
  }
  catalogue.push_back(std::move(examples));
  g_catalogue = std::move(catalogue);
  UpdateTweakIndex(g_catalogue);

  std::vector<const Tweak*> tweaks;
  size_t example = 0;
  for (const RowSource& row : rows) {
    const std::string key = CatalogueKey(row.path);
    const Tweak* found = nullptr;
    if (key.empty()) {
      found = &g_catalogue.back().tweaks[example++];
    } else {
      for (const Category& category : g_catalogue) {
        for (const Tweak& tweak : category.tweaks) {
          if (tweak.key == key) found = &tweak;
        }
      }
    }
    tweaks.push_back(found);
  }
  return tweaks;
}

int32_t RowTweakId(const Tweak* tweak) {
  for (size_t id = 0; id < TweakIndexSize(); ++id) {
    if (TweakIndexAt(id) == tweak) return static_cast<int32_t>(id);
  }
  return -1;
}

TweakCheck CheckRowState(const Tweak& tweak) { return CheckTweak(tweak, SystemMachine()); }

SkipRunResult RunWithSkip(int32_t id, const std::function<BatchResult()>& runScript) {
  SkipRunResult result;
  g_webView = [&result](const std::u16string& json) { result.messages.push_back(platform::Utf16ToUtf8(json)); };
  OptimizeRunWith(
      {id},
      [&](const char*) {
        result.scriptRan = true;
        return runScript();
      },
      AppliedOnThisMachine);
  DrainOutbox();
  g_webView = nullptr;
  return result;
}
