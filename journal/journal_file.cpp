#include "journal/journal_file.h"

#include <chrono>
#include <cstdio>

#include "platform/data_folder.h"
#include "platform/file_change.h"
#include "platform/machine.h"
#include "platform/system_state.h"
#include "platform/text.h"
#include "protocol/page_messages.h"

namespace {

constexpr size_t kReadLimit = 2 * kJournalBytes;

std::string Narrow(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

uint32_t Append(const RunJournal& journal, const std::string& line) {
  return platform::AppendToFile(journal.file, line, journal.administratorsOnly);
}

// The newest runs within the bounds, leaving room for one more.
std::vector<JournalRun> Bounded(std::vector<JournalRun> runs) {
  size_t bytes = 0;
  size_t keep = 0;
  for (auto run = runs.rbegin(); run != runs.rend() && keep + 1 < kJournalRuns; ++run) {
    bytes += JournalLines({*run}).size();
    if (bytes > kJournalBytes) break;
    ++keep;
  }
  runs.erase(runs.begin(), runs.end() - static_cast<std::ptrdiff_t>(keep));
  return runs;
}

}  // namespace

JournalPlace SystemJournalPlace() {
  if (platform::ProcessIsElevated()) return {platform::AdministratorsDataFolder(), false};
  const std::u16string local = platform::LocalAppDataFolder();
  if (local.empty()) return {{}, true};
  // The separator the folder already uses: '/' stands in for '\\' off Windows.
  const char16_t separator = local.find(u'/') == std::u16string::npos ? u'\\' : u'/';
  const std::u16string folder = local + separator + platform::kDataFolderName;
  if (platform::CreateFolder(folder) != 0) return {{}, true};
  return {folder + separator, true};
}

std::u16string JournalFile(const std::u16string& folder) { return folder + kJournalFileName; }

LoadedJournal LoadJournal(const std::u16string& folder) {
  LoadedJournal loaded;
  const std::u16string file = JournalFile(folder);
  const std::optional<std::string> text = platform::ReadSmallFile(file, kReadLimit);
  if (text) {
    loaded.journal = ReadJournal(*text);
  } else {
    loaded.unreadable = platform::FileExists(file) != std::optional<bool>(false);
  }
  return loaded;
}

RunJournal StartRunJournal(const std::u16string& folder, JournalRun run, std::function<Machine()> machine) {
  RunJournal journal;
  if (folder.empty()) {
    PostLog(LogLevel::Warn, "No journal: its folder cannot be had. This run cannot be undone.");
    return journal;
  }
  const std::u16string file = JournalFile(folder);
  const bool administratorsOnly = platform::ProcessIsElevated();
  LoadedJournal loaded = LoadJournal(folder);
  const RunTime now = RunTimeNow();
  run.start = now.start;
  run.id = now.id;
  for (int suffix = 2;; ++suffix) {
    bool taken = false;
    for (const JournalRun& other : loaded.journal.runs) taken = taken || other.id == run.id;
    if (!taken) break;
    run.id = now.id + "-" + std::to_string(suffix);
  }

  if (loaded.unreadable || loaded.journal.damagedLines > 0) {
    // Never dropped: the file is kept whole under another name.
    const std::u16string aside = folder + u"journal.damaged-" + platform::Utf8ToUtf16(run.id) + u".jsonl";
    const uint32_t moved = platform::RenameFile(file, aside);
    if (moved != 0) {
      PostLog(LogLevel::Warn, "The journal is damaged and cannot be set aside (error %u). This run cannot be undone.",
              moved);
      return journal;
    }
    PostLog(LogLevel::Warn, "The journal had %s; it is kept as %s and its readable runs are carried over.",
            loaded.unreadable ? "a file that cannot be read"
                              : (std::to_string(loaded.journal.damagedLines) + " unreadable lines").c_str(),
            Narrow(aside).c_str());
  }
  const bool rewrite = loaded.unreadable || loaded.journal.damagedLines > 0 || loaded.journal.tornTail ||
                       loaded.journal.runs.size() >= kJournalRuns ||
                       JournalLines(loaded.journal.runs).size() > kJournalBytes;
  if (rewrite) {
    const uint32_t status =
        platform::ReplaceFileContent(file, JournalLines(Bounded(std::move(loaded.journal.runs))), administratorsOnly);
    if (status != 0) {
      PostLog(LogLevel::Warn, "The journal cannot be rewritten (error %u). This run cannot be undone.", status);
      return journal;
    }
  }
  journal.file = file;
  journal.administratorsOnly = administratorsOnly;
  journal.run = std::move(run);
  journal.machine = std::move(machine);
  const uint32_t status = Append(journal, RunLine(journal.run));
  if (status != 0) {
    PostLog(LogLevel::Warn, "The journal cannot be written (error %u). This run cannot be undone.", status);
    journal.file.clear();
  }
  return journal;
}

bool WriteEntry(RunJournal& journal, JournalEntry& entry) {
  if (journal.file.empty()) return false;
  entry.n = journal.entries;
  const uint32_t status = Append(journal, EntryLine(journal.run.id, entry));
  if (status != 0) {
    PostLog(LogLevel::Warn, "The journal cannot be written (error %u): %s cannot be undone.", status,
            entry.name.c_str());
    return false;
  }
  ++journal.entries;
  return true;
}

void WriteOutcome(RunJournal& journal, const JournalEntry& entry) {
  if (journal.file.empty()) return;
  const uint32_t status = Append(journal, OutcomeLine(journal.run.id, entry));
  if (status != 0) {
    PostLog(LogLevel::Warn,
            "The journal cannot be written (error %u): the outcome of %s is not recorded, and undo will ask first.",
            status, entry.name.c_str());
  }
}

JournalEntry TweakEntry(const Tweak& tweak, const Machine& machine) {
  JournalEntry entry;
  entry.key = tweak.key;
  entry.name = tweak.name;
  entry.reversibility = TweakReversibility(tweak);
  Captured captured = CaptureSteps(tweak.steps, machine);
  entry.before = std::move(captured.captures);
  entry.missed = std::move(captured.missed);
  for (const StepDef& step : tweak.steps) {
    if (step.undo == StepUndo::kNone) entry.lost.push_back({step.family, step.summary});
  }
  return entry;
}

RunTime RunTimeNow() {
  using namespace std::chrono;
  const auto now = floor<milliseconds>(system_clock::now());
  const auto days = floor<std::chrono::days>(now);
  const year_month_day date{days};
  const hh_mm_ss time{now - days};
  const int year = static_cast<int>(date.year());
  const unsigned month = static_cast<unsigned>(date.month());
  const unsigned day = static_cast<unsigned>(date.day());
  const auto hours = static_cast<int>(time.hours().count());
  const auto minutes = static_cast<int>(time.minutes().count());
  const auto seconds = static_cast<int>(time.seconds().count());
  const auto millis = static_cast<int>(time.subseconds().count());
  char start[32];
  char id[32];
  std::snprintf(start, sizeof start, "%04d-%02u-%02uT%02d:%02d:%02dZ", year, month, day, hours, minutes, seconds);
  std::snprintf(id, sizeof id, "%04d%02u%02u-%02d%02d%02d-%03d", year, month, day, hours, minutes, seconds, millis);
  return {start, id};
}
