#include "catalogue/catalogue.h"

#include <utility>

Catalogue& g_catalogue = *new Catalogue();

Catalogue BuildCatalogue() { return BuildCatalogueFrom(kTweakDefs); }

Catalogue BuildCatalogueFrom(std::span<const TweakDef> rows) {
  std::vector<Category> working(kCategoryCount);
  for (size_t i = 0; i < kCategoryCount; ++i) {
    working[i].key = kCategoryKeys[i];
    working[i].name = kCategoryKeys[i];
  }
  for (const TweakDef& row : rows) {
    // A negative index becomes a large one and is dropped with the others.
    const auto index = static_cast<uint32_t>(row.category);
    if (index >= kCategoryCount) continue;
    const auto text = [](const char* value) { return std::string(value ? value : ""); };
    Tweak tweak{
        .name = text(row.name),
        .script = text(row.script),
        .recommended = row.recommended != 0,
        .warn = row.warn != 0,
        .key = text(row.key),
        .description = text(row.description),
        .docs = {},
        .cost = text(row.cost),
        .costText = text(row.costText),
        .steps = row.steps,
    };
    for (const char* title : row.docs) tweak.docs.push_back(text(title));
    working[index].tweaks.push_back(std::move(tweak));
  }
  Catalogue result;
  result.reserve(kCategoryCount);
  for (Category& category : working) {
    if (!category.tweaks.empty()) result.push_back(std::move(category));
  }
  return result;
}

const char* TweakReversibility(const Tweak& tweak) {
  size_t lasting = 0;
  size_t exact = 0;
  for (const StepDef& step : tweak.steps) {
    if (step.undo == StepUndo::kNoChange) continue;
    ++lasting;
    if (step.undo == StepUndo::kExact) ++exact;
  }
  if (exact == lasting) return "full";
  return exact == 0 ? "none" : "partial";
}
