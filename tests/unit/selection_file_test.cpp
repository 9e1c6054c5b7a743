// Selection files as the command line and the page's import read them.
#include "app/selection_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Index {
  std::vector<Tweak> tweaks;
  TweakIndex index;
  Index() : tweaks(3) {
    tweaks[0].key = "telemetry/a";
    tweaks[1].key = "cleanup/b";
    tweaks[2].key = "misc/\xD1\x8F";
    for (const Tweak& tweak : tweaks) index.push_back(&tweak);
  }
};

std::string File(const std::string& tweaks) {
  return R"({"format":"quarnfeld-selection","version":1,"tweaks":[)" + tweaks + "]}";
}

TEST(ReadSelection, TellsWhatIsWrongAndNamesEveryKeyItCannotTake) {
  const Index fixture;
  struct Case {
    std::string text;
    std::string error;
    std::vector<int32_t> ids;
    std::vector<std::string> unknown;
    std::vector<std::string> repeated;
  };
  const Case cases[] = {
      {File(R"("cleanup/b","telemetry/a")"), "", {1, 0}, {}, {}},
      {File(""), "", {}, {}, {}},
      {File(R"("telemetry/a","nope/x","telemetry/a","Telemetry/A")"),
       "",
       {0},
       {"nope/x", "Telemetry/A"},
       {"telemetry/a"}},
      {File(R"("misc/\u044f")"), "", {2}, {}, {}},
      {"", "the file is not a JSON object", {}, {}, {}},
      {"[]", "the file is not a JSON object", {}, {}, {}},
      {File(R"("cleanup/b",)"), "the file is not a JSON object", {}, {}, {}},
      {"// keys\n" + File(R"("cleanup/b")"), "the file is not a JSON object", {}, {}, {}},
      {R"({"format":"quarnfeld-selection","version":1,"tweaks":[],"tweaks":[]})",
       "the file is not a JSON object",
       {},
       {},
       {}},
      {R"({"format":"other","version":1,"tweaks":[]})", "\"format\" is not \"quarnfeld-selection\"", {}, {}, {}},
      {R"({"format":"quarnfeld-selection","version":2,"tweaks":[]})", "\"version\" is not 1", {}, {}, {}},
      {R"({"format":"quarnfeld-selection","version":1.0,"tweaks":[]})", "\"version\" is not 1", {}, {}, {}},
      {R"({"format":"quarnfeld-selection","version":1})", "\"tweaks\" is not a list of keys", {}, {}, {}},
      {R"({"format":"quarnfeld-selection","version":1,"tweaks":[],"extra":0})",
       "unexpected member \"extra\"",
       {},
       {},
       {}},
      {File(R"("cleanup/b",7)"), "\"tweaks\" holds something other than a key", {}, {}, {}},
      {File("\"" + std::string(kMaxSelectionBytes, 'k') + "\""), "the file is larger than 1024 KiB", {}, {}, {}},
  };
  for (const Case& c : cases) {
    const SelectionRead read = ReadSelection(c.text, fixture.index);
    const std::string shown = c.text.substr(0, 80);
    EXPECT_EQ(read.error, c.error) << shown;
    EXPECT_EQ(read.ids, c.ids) << shown;
    EXPECT_EQ(read.unknown, c.unknown) << shown;
    EXPECT_EQ(read.repeated, c.repeated) << shown;
  }
}

TEST(WriteSelection, ReadsBackAsTheSameTweaksInTheSameOrder) {
  const Index fixture;
  const std::vector<const Tweak*> chosen = {&fixture.tweaks[2], &fixture.tweaks[0]};
  const SelectionRead read = ReadSelection(WriteSelection(chosen), fixture.index);
  EXPECT_EQ(read.error, "");
  EXPECT_EQ(read.ids, (std::vector<int32_t>{2, 0}));
  EXPECT_EQ(ReadSelection(WriteSelection({}), fixture.index).error, "");
}

}  // namespace
