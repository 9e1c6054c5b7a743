// A journal that cannot grow: the file size limit makes every write past it
// fail as a full disk does, part-way through a line.
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "catalogue/catalogue.h"
#include "catalogue/tweak_index.h"
#include "fake_machine.h"
#include "journal/journal_file.h"
#include "run/optimize_run.h"
#include "run/run_state.h"
#include "run_messages.h"

namespace {

TEST(JournalFullDisk, TheRunGoesOnAndSaysWhatCannotBeUndone) {
  CollectPageMessages();
  g_catalogue = BuildCatalogue();
  UpdateTweakIndex(g_catalogue);
  const std::filesystem::path path = std::filesystem::temp_directory_path() / "qf-journal-full-disk";
  std::filesystem::remove_all(path);
  std::filesystem::create_directories(path);
  const std::u16string folder = (path / "").u16string();
  FakeMachine machine;
  machine.files[u"hosts"] = std::string(4096, '#');
  RunSeams seams;
  seams.runScript = [](const char*) { return BatchResult{BatchOutcome::Succeeded, 0u, 0, "", 0}; };
  seams.journalFolder = folder;
  seams.machine = [&machine] { return machine.Reader(); };
  // A hosts row records the whole file, far more than the room left.
  int32_t hostsRow = -1;
  for (size_t id = 0; id < TweakIndexSize() && hostsRow < 0; ++id) {
    for (const StepDef& step : TweakIndexAt(id)->steps) {
      if (std::string_view(step.family) == "add-hosts-entries") hostsRow = static_cast<int32_t>(id);
    }
  }
  ASSERT_GE(hostsRow, 0);
  OptimizeRunWith({hostsRow}, seams);
  const uintmax_t size = std::filesystem::file_size(path / "journal.jsonl");

  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit limit = old;
  limit.rlim_cur = size + 200;  // the run line fits, a tweak's line does not
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  TakePageMessages();
  OptimizeRunWith({hostsRow, hostsRow}, seams);
  const std::vector<std::string> messages = TakePageMessages();
  setrlimit(RLIMIT_FSIZE, &old);

  const std::string name = TweakIndexAt(static_cast<size_t>(hostsRow))->name;
  size_t warned = 0;
  for (const std::string& message : messages) {
    warned +=
        message.find("The journal cannot be written (error 27): " + name + " cannot be undone.") != std::string::npos;
  }
  EXPECT_EQ(warned, 2u);
  EXPECT_EQ(messages.back(), "{\"type\":\"done\",\"ok\":2,\"err\":0}");
  // Every cut line was cut off again: the journal reads whole, and the next
  // run records as before.
  const LoadedJournal loaded = LoadJournal(folder);
  EXPECT_EQ(loaded.journal.damagedLines, 0u);
  EXPECT_FALSE(loaded.journal.tornTail);
  ASSERT_EQ(loaded.journal.runs.size(), 2u);
  EXPECT_TRUE(loaded.journal.runs[1].entries.empty());
  OptimizeRunWith({hostsRow}, seams);
  EXPECT_EQ(LoadJournal(folder).journal.runs.back().entries.size(), 1u);
}

}  // namespace
