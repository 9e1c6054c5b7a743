#pragma once
// The "init" message: the answer to the page's "ready". Compact JSON, keys in
// a fixed order: type, admin, system (os, cpu, gpu, user, host), categories
// (key, name, tweaks: id, name, recommended, warn). Script bodies are never sent.

#include <string>
#include <string_view>

#include "catalogue/catalogue.h"
#include "system/system_probe.h"

// Probes the machine and elevation afresh, numbers g_catalogue into the tweak
// index, and returns the message. UI thread only.
std::string BuildInitMessage();
// The same for a machine description and elevation already probed.
std::string BuildInitMessage(bool admin, const SystemInfo& info);

// The part of "init" from "\"categories\":[" to the end, with the ids
// UpdateTweakIndex gives the same catalogue.
std::string WriteCategoriesJson(const Catalogue& catalogue);

// The whole message, given its parts.
std::string WriteInitMessage(bool admin, const SystemInfo& info, std::string_view categoriesJson);
