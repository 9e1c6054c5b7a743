#pragma once
// Selection files: a set of tweaks carried from one machine to another, or
// from the page to the command line.
//   {"format":"quarnfeld-selection","version":1,"tweaks":["<key>",...]}
// The page's import and the command line read them with this one reader.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/tweak_index.h"

inline constexpr size_t kMaxSelectionBytes = 1024 * 1024;

struct SelectionRead {
  std::string error;                  // why the file is no selection; empty when it is one
  std::vector<int32_t> ids;           // the known tweaks, in the file's order
  std::vector<std::string> unknown;   // keys no tweak has, as written
  std::vector<std::string> repeated;  // keys named more than once
};

// Reads a selection against `index` (ids are its positions). A file that is
// larger than kMaxSelectionBytes, not strict JSON, of another format or
// version, or holding anything but the three members is an error; unknown and
// repeated keys are named, never passed over.
SelectionRead ReadSelection(std::string_view text, const TweakIndex& index);

// The file for these tweaks, in this order: the three members, one key a line.
std::string WriteSelection(const std::vector<const Tweak*>& tweaks);
