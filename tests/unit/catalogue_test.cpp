#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/catalogue.h"

extern const char kCatalogueRowsFixture[];

namespace {

std::vector<std::string> Keys(const Catalogue& catalogue) {
  std::vector<std::string> keys;
  for (const Category& category : catalogue) keys.push_back(category.key);
  return keys;
}

TEST(BuildCatalogueFrom, NullNameOrScriptGivesEmptyTextAndKeepsTheRow) {
  const TweakDef rows[] = {
      {nullptr, 7, "echo a", 1, 0},
      {"No script", 7, nullptr, 0, 1},
      {"Both", 7, "echo b", 1, 1},
  };
  const Catalogue catalogue = BuildCatalogueFrom(rows);
  ASSERT_EQ(catalogue.size(), 1u);
  const std::vector<Tweak>& tweaks = catalogue[0].tweaks;
  ASSERT_EQ(tweaks.size(), 3u);
  EXPECT_EQ(tweaks[0].name, "");
  EXPECT_EQ(tweaks[0].script, "echo a");
  EXPECT_TRUE(tweaks[0].recommended);
  EXPECT_FALSE(tweaks[0].warn);
  EXPECT_EQ(tweaks[1].name, "No script");
  EXPECT_EQ(tweaks[1].script, "");
  EXPECT_FALSE(tweaks[1].recommended);
  EXPECT_TRUE(tweaks[1].warn);
  EXPECT_TRUE(tweaks[2].recommended);
  EXPECT_TRUE(tweaks[2].warn);
}

TEST(BuildCatalogueFrom, FlagBytesAboveOneCountAsSet) {
  const TweakDef rows[] = {{"x", 0, "s", 2, 255}};
  const Catalogue catalogue = BuildCatalogueFrom(rows);
  ASSERT_EQ(catalogue.size(), 1u);
  EXPECT_TRUE(catalogue[0].tweaks[0].recommended);
  EXPECT_TRUE(catalogue[0].tweaks[0].warn);
}

TEST(BuildCatalogueFrom, CategoryIndexOutsideZeroToFifteenDropsTheRow) {
  const TweakDef rows[] = {
      {"sixteen", 16, "s", 1, 0},        {"minus one", -1, "s", 1, 0}, {"lowest", INT32_MIN, "s", 1, 0},
      {"highest", INT32_MAX, "s", 1, 0}, {"kept", 15, "s", 0, 1},
  };
  const Catalogue catalogue = BuildCatalogueFrom(rows);
  ASSERT_EQ(catalogue.size(), 1u);
  EXPECT_EQ(catalogue[0].key, "misc");
  ASSERT_EQ(catalogue[0].tweaks.size(), 1u);
  EXPECT_EQ(catalogue[0].tweaks[0].name, "kept");
}

TEST(BuildCatalogueFrom, EmptyCategoriesAreLeftOutAndTheRestKeepKeyOrder) {
  // Rows of different categories interleaved, in reverse key order.
  const TweakDef rows[] = {
      {"misc 1", 15, "s", 1, 0},   {"power 1", 7, "s", 1, 0}, {"misc 2", 15, "s", 1, 0},
      {"cleanup 1", 0, "s", 1, 0}, {"power 2", 7, "s", 1, 0},
  };
  const Catalogue catalogue = BuildCatalogueFrom(rows);
  EXPECT_EQ(Keys(catalogue), (std::vector<std::string>{"cleanup", "power", "misc"}));
  ASSERT_EQ(catalogue.size(), 3u);
  EXPECT_EQ(catalogue[1].tweaks[0].name, "power 1");
  EXPECT_EQ(catalogue[1].tweaks[1].name, "power 2");
  EXPECT_EQ(catalogue[2].tweaks[0].name, "misc 1");
  EXPECT_EQ(catalogue[2].tweaks[1].name, "misc 2");
  for (const Category& category : catalogue) EXPECT_EQ(category.name, category.key);
}

TEST(BuildCatalogueFrom, NoRowsGiveNoCategories) {
  EXPECT_TRUE(BuildCatalogueFrom({}).empty());
  const TweakDef dropped[] = {{"x", 99, "s", 1, 0}};
  EXPECT_TRUE(BuildCatalogueFrom(dropped).empty());
}

struct FixtureRow {
  int id;
  char flag;
  std::string category;
  std::string name;
};

// Lines of "<id> <flag> <category> <name>", the name being the rest of the line.
std::vector<FixtureRow> ReadFixture() {
  std::vector<FixtureRow> rows;
  std::string_view text = kCatalogueRowsFixture;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    const size_t a = line.find(' ');
    const size_t b = line.find(' ', a + 1);
    const size_t c = line.find(' ', b + 1);
    if (a == std::string_view::npos || b != a + 2 || c == std::string_view::npos) {
      ADD_FAILURE() << "malformed fixture line: " << line;
      continue;
    }
    rows.push_back(FixtureRow{std::stoi(std::string(line.substr(0, a))), line[a + 1],
                              std::string(line.substr(b + 1, c - b - 1)), std::string(line.substr(c + 1))});
  }
  return rows;
}

char FlagLetter(const Tweak& tweak) {
  if (tweak.recommended && tweak.warn) return 'B';
  if (tweak.recommended) return 'R';
  if (tweak.warn) return 'W';
  return 'N';
}

TEST(TweakTable, EveryRowWellFormed) {
  ASSERT_EQ(kTweakDefs.size(), 421u);
  for (const TweakDef& row : kTweakDefs) {
    ASSERT_NE(row.name, nullptr);
    EXPECT_NE(row.script, nullptr) << row.name;
    EXPECT_GE(row.category, 0) << row.name;
    EXPECT_LT(row.category, 16) << row.name;
    EXPECT_LE(row.recommended, 1) << row.name;
    EXPECT_LE(row.warn, 1) << row.name;
    const size_t length = std::string_view(row.name).size();
    EXPECT_GE(length, 14u) << row.name;
    EXPECT_LE(length, 102u) << row.name;
  }
}

TEST(TweakTable, NamesIdsCategoriesAndFlagsMatchTheAgreedList) {
  const std::vector<FixtureRow> expected = ReadFixture();
  ASSERT_EQ(expected.size(), 421u);
  const Catalogue catalogue = BuildCatalogue();
  size_t id = 0;
  for (const Category& category : catalogue) {
    for (const Tweak& tweak : category.tweaks) {
      ASSERT_LT(id, expected.size());
      const FixtureRow& row = expected[id];
      EXPECT_EQ(row.id, static_cast<int>(id));
      EXPECT_EQ(tweak.name, row.name) << "id " << id;
      EXPECT_EQ(category.key, row.category) << "id " << id;
      EXPECT_EQ(FlagLetter(tweak), row.flag) << "id " << id << " " << row.name;
      ++id;
    }
  }
  EXPECT_EQ(id, expected.size());
}

TEST(TweakTable, NamesAreUnique) {
  std::vector<std::string_view> names;
  for (const TweakDef& row : kTweakDefs) names.emplace_back(row.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());
}

TEST(TweakTable, SpecialCharactersArePartOfTheNames) {
  const Catalogue catalogue = BuildCatalogue();
  std::vector<std::string> names;
  for (const Category& category : catalogue) {
    for (const Tweak& tweak : category.tweaks) names.push_back(tweak.name);
  }
  ASSERT_EQ(names.size(), 421u);
  EXPECT_EQ(names[31], "Clear \"Cryptographic Services\" diagnostic traces");
  EXPECT_EQ(names[39], "Clear \"Windows System Assessment Tool (`WinSAT`)\" logs");
  EXPECT_EQ(names[403], "Remove \"Movies ^& TV\" app");
  EXPECT_EQ(names[265], "Disable hibernation for faster startup and to avoid sensitive data storage");
  EXPECT_EQ(names[420], "Disable history of recently opened documents");
}

struct CategoryCounts {
  const char* key;
  size_t tweaks;
  size_t firstId;
  size_t recommended;
  size_t warn;
  size_t neither;
};

TEST(TweakTable, CategoryCountsAndIdRanges) {
  const CategoryCounts expected[] = {
      {"cleanup", 65, 0, 61, 0, 4},    {"telemetry", 50, 65, 44, 3, 3}, {"browsers", 74, 115, 61, 6, 7},
      {"security", 26, 189, 25, 1, 0}, {"network", 4, 215, 2, 2, 0},    {"explorer", 37, 219, 22, 15, 0},
      {"updates", 9, 256, 4, 5, 0},    {"power", 1, 265, 1, 0, 0},      {"defender", 3, 266, 3, 0, 0},
      {"services", 3, 269, 2, 1, 0},   {"input", 3, 272, 3, 0, 0},      {"remote", 6, 275, 3, 3, 0},
      {"accounts", 1, 281, 1, 0, 0},   {"notify", 11, 282, 10, 1, 0},   {"hardware", 5, 293, 0, 5, 0},
      {"misc", 123, 298, 85, 38, 0},
  };
  const Catalogue catalogue = BuildCatalogue();
  ASSERT_EQ(catalogue.size(), 16u);
  size_t firstId = 0;
  size_t recommended = 0, warn = 0, neither = 0, both = 0;
  for (size_t i = 0; i < catalogue.size(); ++i) {
    const Category& category = catalogue[i];
    EXPECT_EQ(category.key, kCategoryKeys[i]);
    EXPECT_EQ(category.key, expected[i].key);
    EXPECT_EQ(category.name, category.key);
    EXPECT_EQ(category.tweaks.size(), expected[i].tweaks) << category.key;
    EXPECT_EQ(firstId, expected[i].firstId) << category.key;
    size_t r = 0, w = 0, n = 0;
    for (const Tweak& tweak : category.tweaks) {
      if (tweak.recommended && tweak.warn) ++both;
      if (tweak.recommended && !tweak.warn) ++r;
      if (tweak.warn && !tweak.recommended) ++w;
      if (!tweak.recommended && !tweak.warn) ++n;
    }
    EXPECT_EQ(r, expected[i].recommended) << category.key;
    EXPECT_EQ(w, expected[i].warn) << category.key;
    EXPECT_EQ(n, expected[i].neither) << category.key;
    recommended += r;
    warn += w;
    neither += n;
    firstId += category.tweaks.size();
  }
  EXPECT_EQ(firstId, 421u);
  EXPECT_EQ(recommended, 327u);
  EXPECT_EQ(warn, 80u);
  EXPECT_EQ(neither, 14u);
  EXPECT_EQ(both, 0u);
}

}  // namespace
