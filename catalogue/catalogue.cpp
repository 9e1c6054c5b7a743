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
    working[index].tweaks.push_back(Tweak{
        .name = row.name ? row.name : "",
        .script = row.script ? row.script : "",
        .recommended = row.recommended != 0,
        .warn = row.warn != 0,
    });
  }
  Catalogue result;
  result.reserve(kCategoryCount);
  for (Category& category : working) {
    if (!category.tweaks.empty()) result.push_back(std::move(category));
  }
  return result;
}
