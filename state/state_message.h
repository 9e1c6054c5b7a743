#pragma once
// The "state" and "stepstate" messages: what the state check found, in
// compact JSON with keys in a fixed order.

#include <cstdint>
#include <string>

#include "catalogue/catalogue.h"
#include "state/state_check.h"

// {"type":"state","tweaks":[[id,"applied"|"partly"|"not-applied"|"n/a"|"unknown",done,total],...]}
// for every tweak of the catalogue, with the ids "init" gives.
std::string WriteStateMessage(const Catalogue& catalogue, const Machine& machine);

// {"type":"stepstate","id":N,"state":...,"done":D,"total":T,"steps":[{"state":...,"reason":...},...]}
std::string WriteStepStateMessage(int32_t id, const TweakCheck& check);
