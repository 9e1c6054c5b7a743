#pragma once
// The catalogue: the static tweak table and the process-wide list of
// categories built from it once at start-up and never changed afterwards.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "catalogue/category_keys.h"
#include "catalogue/step_def.h"

// One static row of the tweak table.
struct TweakDef {
  const char* name;    // may be null
  int32_t category;    // index into kCategoryKeys; rows outside 0-15 are dropped
  const char* script;  // may be null
  uint8_t recommended;
  uint8_t warn;
  // The model over the row, from its script source; any may be null or empty.
  const char* key = nullptr;  // the source's path under catalogue/scripts/ without ".txt"
  const char* description = nullptr;
  std::span<const char* const> docs = {};  // titles of the documentation pages it rests on
  const char* cost = nullptr;              // none, data, feature, breaks or protection
  const char* costText = nullptr;          // the loss in one Russian sentence
  std::span<const StepDef> steps = {};
};

struct Tweak {
  std::string name;
  std::string script;
  bool recommended = false;
  bool warn = false;
  std::string key = {};
  std::string description = {};
  std::vector<std::string> docs = {};
  std::string cost = {};
  std::string costText = {};
  std::span<const StepDef> steps = {};  // static data of the table
};

// "full" when every step that leaves a lasting change can be put back
// exactly, "none" when no such step can, "partial" otherwise.
const char* TweakReversibility(const Tweak& tweak);

struct Category {
  std::string key;
  std::string name;  // the same text as key; the page turns keys into labels
  std::vector<Tweak> tweaks;
};

using Catalogue = std::vector<Category>;

// The generated table of every tweak, in table order.
extern const std::span<const TweakDef> kTweakDefs;

// The categories that received at least one row, in key order, each holding
// its tweaks in row order.
Catalogue BuildCatalogue();
Catalogue BuildCatalogueFrom(std::span<const TweakDef> rows);

// Filled once at start-up, read-only afterwards. It is never destroyed: a run
// thread may still read a tweak while the process exits.
extern Catalogue& g_catalogue;
