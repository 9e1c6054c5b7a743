#pragma once
// The "details" and "script" messages: what the page shows about a tweak
// beyond its name. Compact JSON with keys in a fixed order.

#include <cstdint>
#include <optional>
#include <string>

#include "catalogue/catalogue.h"

// {"type":"details","tweaks":[{"id":N,"key":...,"description":...,"docs":[...],
// "steps":[{"family":...,"summary":...},...],"reversible":"full"|"partial"|"none",
// "cost":...,"costText":...},...]} for every tweak, with the ids "init" gives.
std::string WriteDetailsMessage(const Catalogue& catalogue);

// The same for g_catalogue, numbered into the tweak index; written once and
// kept, since the catalogue never changes. UI thread only.
const std::string& BuildDetailsMessage();

// {"type":"script","id":N,"text":<the body the runner receives>}; nothing when
// no tweak has that id. UI thread only.
std::optional<std::string> BuildScriptMessage(int32_t id);
