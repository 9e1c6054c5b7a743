#include "journal/history_message.h"

#include <utility>

#include "protocol/json_text.h"

namespace {

constexpr std::pair<std::string_view, std::string_view> kWaysBack[] = {
    {"clear-directory-contents",
     "Deleted files come back only from a backup (File History, a restore point's "
     "previous versions)."},
    {"delete-files", "Deleted files come back only from a backup (File History, a restore point's previous versions)."},
    {"delete-directory", "The folder can be created again; files in it were kept."},
    {"soft-delete", "Rename the NAME.OLD files back to their names."},
    {"empty-recycle-bin", "Emptied files come back only from a backup."},
    {"clear-registry-values", "The deleted values come back only from a system restore point."},
    {"uninstall-store-app", "Install the app again from the Microsoft Store."},
    {"remove-windows-capability", "Add it again in Settings, Apps, Optional features."},
    {"disable-optional-feature", "Turn it on again in Windows Features (optionalfeatures.exe)."},
    {"run-edge-uninstaller", "Install Microsoft Edge again from microsoft.com/edge."},
    {"remove-shortcuts", "Create or pin the shortcut again."},
    {"create-placeholder-file", "Delete the empty file it created."},
    {"plain",
     "The tweak's own commands: what they changed is not recorded; a restore point from before the run "
     "covers it."},
};

std::string Bool(bool value) { return value ? "true" : "false"; }

std::string TweakJson(const JournalText& journal, const JournalRun& run, const JournalEntry& entry) {
  std::string json =
      "{\"n\":" + std::to_string(entry.n) + ",\"key\":" + JsonQuote(entry.key) + ",\"name\":" + JsonQuote(entry.name) +
      ",\"reversibility\":" + JsonQuote(entry.reversibility) + ",\"outcome\":\"" +
      (!entry.finished ? "interrupted"
       : entry.ok      ? "ok"
                       : "failed") +
      "\"" + ",\"undoable\":" + Bool(!entry.before.empty()) + ",\"undone\":" + Bool(IsUndone(journal, run, entry.n));
  if (entry.undoes >= 0) json += ",\"undoes\":" + std::to_string(entry.undoes);
  json += ",\"missed\":[";
  for (size_t i = 0; i < entry.missed.size(); ++i) {
    if (i > 0) json += ',';
    json += JsonQuote(entry.missed[i]);
  }
  json += "],\"lost\":[";
  for (size_t i = 0; i < entry.lost.size(); ++i) {
    const LostStep& step = entry.lost[i];
    if (i > 0) json += ',';
    json += "{\"family\":" + JsonQuote(step.family) + ",\"summary\":" + JsonQuote(step.summary) +
            ",\"wayBack\":" + JsonQuote(WayBack(step.family)) + "}";
  }
  return json + "]}";
}

}  // namespace

std::string_view WayBack(std::string_view family) {
  for (const auto& [each, text] : kWaysBack) {
    if (each == family) return text;
  }
  return {};
}

std::string WriteHistoryMessage(const LoadedJournal& loaded, bool perUser) {
  const JournalText& journal = loaded.journal;
  std::string json = "{\"type\":\"history\",\"perUser\":" + Bool(perUser) +
                     ",\"damaged\":" + Bool(loaded.unreadable || journal.damagedLines > 0) + ",\"runs\":[";
  for (auto run = journal.runs.rbegin(); run != journal.runs.rend(); ++run) {
    if (run != journal.runs.rbegin()) json += ',';
    json +=
        "{\"id\":" + JsonQuote(run->id) + ",\"start\":" + JsonQuote(run->start) + ",\"kind\":" + JsonQuote(run->kind);
    if (run->kind == "undo") json += ",\"undoes\":" + JsonQuote(run->undoes);
    json += ",\"restorePoint\":" + Bool(run->restorePoint) + ",\"tweaks\":[";
    for (size_t i = 0; i < run->entries.size(); ++i) {
      if (i > 0) json += ',';
      json += TweakJson(journal, *run, run->entries[i]);
    }
    json += "]}";
  }
  return json + "]}";
}
