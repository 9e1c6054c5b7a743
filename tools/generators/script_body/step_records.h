#pragma once
// What a row does, as data: each step of its source with its family, its
// parameters, a one-line summary in plain words and whether the program can
// put back exactly what the step changes; and the row's description, cited
// documentation and cost. The catalogue generator writes these beside the
// body, so that nothing at run time reads body text.

#include <string>
#include <string_view>
#include <vector>

#include "catalogue/step_def.h"
#include "tools/generators/script_body/script_source.h"

struct StepRecord {
  std::string family;  // the source's family name, "plain" for batch lines
  std::string summary;
  StepUndo undo = StepUndo::kNone;
  std::vector<SourceParam> params;  // as the source gives them, guard included
};

struct RowRecord {
  std::string description;        // the leading '#' lines, joined
  std::vector<std::string> docs;  // "docs:" titles, in source order
  std::string cost;               // "cost:" class; empty when not given
  std::string costText;           // "cost-ru:" sentence
  std::vector<StepRecord> steps;
};

// The undo class of a family; false for a name that is no family.
bool FamilyUndo(std::string_view family, StepUndo* undo);

// The record of a source that ExpandScriptSource accepts.
RowRecord DescribeRow(std::string_view source);
