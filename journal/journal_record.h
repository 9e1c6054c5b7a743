#pragma once
// The journal's records and its line format: one JSON object a line. A run
// line opens each run; each tweak's line, with the state before it, is
// written before the tweak starts, and its outcome line, with the state
// after, when it has ended (docs/architecture.md, "The journal").

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "journal/capture.h"
#include "protocol/json_value.h"

// A step the program cannot undo, with the way back a person has.
struct LostStep {
  std::string family;
  std::string summary;
};

// One tweak of a run (in an undo run: one tweak put back).
struct JournalEntry {
  int32_t n = 0;  // its place in the run, from 0
  std::string key;
  std::string name;
  std::string reversibility;  // "full", "partial" or "none"
  std::vector<Capture> before;
  std::vector<std::string> missed;  // what could not be recorded
  std::vector<LostStep> lost;
  int32_t undoes = -1;  // in an undo run: the entry of the undone run
  // From the outcome line; an entry without one was cut off by the end of
  // the process.
  bool finished = false;
  bool ok = false;
  std::vector<Capture> after;
};

struct JournalRun {
  std::string id;
  std::string start;          // UTC, "2025-06-14T10:30:00Z"
  std::string kind;           // "apply" or "undo"
  std::string undoes;         // an undo run: the run it puts back
  bool restorePoint = false;  // a restore point was made before it
  std::vector<JournalEntry> entries;
};

// What a journal's text holds.
struct JournalText {
  std::vector<JournalRun> runs;  // oldest first
  size_t damagedLines = 0;       // complete lines that could not be read
  bool tornTail = false;         // the text ends inside a line (power lost while writing it)
};

JournalText ReadJournal(std::string_view text);

// Whether a later undo run put entry `n` of `run` back in full.
bool IsUndone(const JournalText& journal, const JournalRun& run, int32_t n);

// One line each, ending with '\n'.
std::string RunLine(const JournalRun& run);
std::string EntryLine(const std::string& runId, const JournalEntry& entry);
std::string OutcomeLine(const std::string& runId, const JournalEntry& entry);
// Every line of the runs, in order: the journal rewritten.
std::string JournalLines(const std::vector<JournalRun>& runs);

// The capture as a JSON object, and back; false when the object is no
// capture the line format allows.
std::string CaptureJson(const Capture& capture);
bool CaptureFromJson(const JsonValue& json, Capture* capture);
