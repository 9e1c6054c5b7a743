#include "journal/undo_plan.h"

#include <algorithm>

#include "protocol/json_text.h"

namespace {

const Capture* Find(const std::vector<Capture>& captures, const std::string& id) {
  for (const Capture& capture : captures) {
    if (TargetId(capture) == id) return &capture;
  }
  return nullptr;
}

}  // namespace

std::optional<UndoSelection> SelectUndo(const JournalText& journal, std::string_view id,
                                        const std::vector<std::string>& keys) {
  UndoSelection selection;
  for (const JournalRun& run : journal.runs) {
    if (run.id == id) selection.run = &run;
  }
  if (selection.run == nullptr) return std::nullopt;
  for (auto entry = selection.run->entries.rbegin(); entry != selection.run->entries.rend(); ++entry) {
    if (!keys.empty() && std::find(keys.begin(), keys.end(), entry->key) == keys.end()) continue;
    if (IsUndone(journal, *selection.run, entry->n)) {
      selection.passed.push_back(entry->name + " is undone already");
    } else if (entry->before.empty()) {
      selection.passed.push_back(entry->name + " recorded nothing to undo");
    } else {
      selection.entries.push_back(&*entry);
    }
  }
  return selection;
}

std::vector<UndoDecision> DecideUndo(const JournalEntry& entry, const Machine& machine,
                                     std::map<std::string, Capture>* expected) {
  std::vector<UndoDecision> decisions;
  // Read what is not expected from a newer entry; files by size and digest.
  std::vector<Capture> unread;
  for (const Capture& before : entry.before) {
    if (expected->count(TargetId(before)) == 0) unread.push_back(before);
  }
  const Captured now = Recapture(unread, machine, false);
  for (auto before = entry.before.rbegin(); before != entry.before.rend(); ++before) {
    const std::string id = TargetId(*before);
    UndoDecision decision;
    decision.before = &*before;
    const auto known = expected->find(id);
    const Capture* current = known != expected->end() ? &known->second : Find(now.captures, id);
    const Capture* left = entry.finished ? Find(entry.after, id) : nullptr;
    if (current == nullptr) {
      decision.changed = TargetText(*before) + " cannot be read now";
    } else if (SameState(*current, *before)) {
      // It holds its state from before already.
    } else if (left != nullptr && SameState(*current, *left)) {
      decision.restore = true;
    } else if (left == nullptr) {
      decision.changed = TargetText(*before) + " is " + StateText(*current) +
                         "; the run ended during this tweak, and before it was " + StateText(*before);
    } else {
      decision.changed = TargetText(*before) + " is " + StateText(*current) + "; the run left it " + StateText(*left) +
                         ", and before it was " + StateText(*before);
    }
    (*expected)[id] = *before;
    decisions.push_back(std::move(decision));
  }
  return decisions;
}

std::vector<UndoConflict> FindUndoConflicts(const UndoSelection& selection, const Machine& machine) {
  std::vector<UndoConflict> conflicts;
  std::map<std::string, Capture> expected;
  for (const JournalEntry* entry : selection.entries) {
    for (const UndoDecision& decision : DecideUndo(*entry, machine, &expected)) {
      if (!decision.changed.empty()) conflicts.push_back({entry->key, entry->name, decision.changed});
    }
  }
  return conflicts;
}

std::string WriteUndoConflictsMessage(std::string_view run, const std::vector<UndoConflict>& conflicts) {
  std::string json = "{\"type\":\"undo-conflicts\",\"run\":" + JsonQuote(run) + ",\"conflicts\":[";
  for (size_t i = 0; i < conflicts.size(); ++i) {
    if (i > 0) json += ',';
    json += "{\"key\":" + JsonQuote(conflicts[i].key) + ",\"name\":" + JsonQuote(conflicts[i].name) +
            ",\"text\":" + JsonQuote(conflicts[i].text) + "}";
  }
  return json + "]}";
}
