// A run looks ids up on its own thread while the page may send "ready" again
// (for example after a reload). Run under ThreadSanitizer.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/init_message.h"
#include "catalogue/tweak_index.h"

namespace {

TEST(TweakIndexRace, ReadyDuringARunNeverDisturbsItsLookups) {
  if (g_catalogue.empty()) g_catalogue = BuildCatalogue();
  BuildInitMessage();
  std::vector<const Tweak*> expected;
  for (size_t id = 0; id < TweakIndexSize(); ++id) expected.push_back(TweakIndexAt(id));
  ASSERT_EQ(expected.size(), 421u);

  std::atomic<bool> stop{false};
  std::atomic<size_t> wrong{0};
  std::atomic<size_t> passes{0};
  std::thread run([&] {
    while (!stop.load()) {
      if (TweakIndexSize() != expected.size()) ++wrong;
      for (size_t id = 0; id < expected.size(); ++id) {
        const Tweak* tweak = TweakIndexAt(id);
        if (tweak != expected[id] || tweak->name.empty()) ++wrong;
      }
      ++passes;
    }
  });
  // What "ready" does after probing the machine (the probe does not touch the
  // index, and under Wine it costs milliseconds).
  const SystemInfo info = ProbeSystem();
  for (int i = 0; i < 300 || passes.load() < 3; ++i) BuildInitMessage(true, info);
  stop = true;
  run.join();
  EXPECT_EQ(wrong.load(), 0u);
}

// Publishing a new index (a catalogue put in place, which the program never
// does) hands readers either the old or the new index whole.
TEST(TweakIndexRace, ReadersSeeAWholeIndexWhileAnotherIsPublished) {
  const Catalogue full = BuildCatalogue();
  const TweakDef rows[] = {{"one", 3, "s", 1, 0}, {"two", 4, "s", 0, 1}};
  const Catalogue small = BuildCatalogueFrom(rows);
  std::vector<const Tweak*> fullEntries;
  for (const Category& category : full) {
    for (const Tweak& tweak : category.tweaks) fullEntries.push_back(&tweak);
  }
  const std::vector<const Tweak*> smallEntries = {&small[0].tweaks[0], &small[1].tweaks[0]};
  UpdateTweakIndex(full);

  std::atomic<bool> stop{false};
  std::atomic<size_t> wrong{0};
  std::atomic<size_t> passes{0};
  std::thread run([&] {
    while (!stop.load()) {
      const size_t size = TweakIndexSize();
      if (size != fullEntries.size() && size != smallEntries.size()) ++wrong;
      for (size_t id = 0; id < fullEntries.size(); ++id) {
        const Tweak* tweak = TweakIndexAt(id);
        if (!tweak) continue;
        const bool known = tweak == fullEntries[id] || (id < smallEntries.size() && tweak == smallEntries[id]);
        if (!known || tweak->name.empty()) ++wrong;
      }
      ++passes;
    }
  });
  for (int i = 0; i < 2000 || passes.load() < 3; ++i) UpdateTweakIndex(i % 2 ? small : full);
  stop = true;
  run.join();
  EXPECT_EQ(wrong.load(), 0u);
  UpdateTweakIndex(Catalogue{});  // the two catalogues end with this test
}

}  // namespace
