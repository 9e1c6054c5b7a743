#pragma once
// The "history" message: the journal's runs for the page, newest first, each
// tweak with its outcome, whether it is undone, and what of it cannot be
// undone with the way back a person has.

#include <string>
#include <string_view>

#include "journal/journal_file.h"

// {"type":"history","perUser":B,"damaged":B,"runs":[...]} (docs/architecture.md).
std::string WriteHistoryMessage(const LoadedJournal& loaded, bool perUser);

// How to get back what a step of `family` removed for good, in a sentence;
// empty for a family that removes nothing.
std::string_view WayBack(std::string_view family);
