#pragma once
// Tweak ids: the catalogue's tweaks numbered from 0, categories in order and
// each category's tweaks in order. Entry N of the index is the tweak with id N.
//
// "init" gives the page these ids and a run looks them up, while the page may
// send "ready" again. An index, once published, is never changed, moved or
// freed, so a run's lookups are never disturbed: a later "ready" finds the
// fixed catalogue already numbered and publishes nothing.

#include <cstddef>
#include <vector>

#include "catalogue/catalogue.h"

using TweakIndex = std::vector<const Tweak*>;

// Makes the index number `catalogue`'s tweaks, unless it already does, and
// returns it. UI thread only; `catalogue` must outlive every reader.
const TweakIndex& UpdateTweakIndex(const Catalogue& catalogue);

// The run's two reads, from any thread. Before the first "init" the index is
// empty and no id names a tweak.
size_t TweakIndexSize();
// The tweak at `position`, or null at or past the end.
const Tweak* TweakIndexAt(size_t position);
