#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/details_message.h"
#include "catalogue/init_message.h"
#include "catalogue/tweak_index.h"

namespace {

const std::string_view kCategoriesStart = "\"categories\":[";

Catalogue PowerOnly() {
  const Catalogue full = BuildCatalogue();
  for (const Category& category : full) {
    if (category.key == "power") return {category};
  }
  return {};
}

TEST(WriteInitMessage, PowerOnlyExampleIsByteExact) {
  const Catalogue catalogue = PowerOnly();
  EXPECT_EQ(WriteInitMessage(false, SystemInfo{}, WriteCategoriesJson(catalogue)),
            "{\"type\":\"init\",\"admin\":false,\"system\":{\"os\":\"\",\"cpu\":\"\",\"gpu\":\"\",\"user\":\"\","
            "\"host\":\"\"},\"categories\":[{\"key\":\"power\",\"name\":\"power\",\"tweaks\":[{\"id\":0,\"name\":"
            "\"Disable hibernation for faster startup and to avoid sensitive data storage\",\"recommended\":true,"
            "\"warn\":false}]}]}");
}

TEST(WriteInitMessage, SystemFieldsAreConvertedAndQuoted) {
  const SystemInfo info{
      .os = u"Windows 11 Pro (23H2)",
      .cpu = u"  AMD \"Ryzen\" 7\\ ",
      .gpu = u"",
      .user = u"Пётр",
      .host = std::u16string(u"PC\x01\xD800", 4),
  };
  EXPECT_EQ(WriteInitMessage(true, info, "\"categories\":[]}"),
            "{\"type\":\"init\",\"admin\":true,\"system\":{\"os\":\"Windows 11 Pro (23H2)\",\"cpu\":\"  AMD "
            "\\\"Ryzen\\\" 7\\\\ \",\"gpu\":\"\",\"user\":\"Пётр\",\"host\":\"PC\\u0001\xEF\xBF\xBD\"},"
            "\"categories\":[]}");
}

TEST(WriteCategoriesJson, EmptyCatalogueClosesAtOnce) {
  EXPECT_EQ(WriteCategoriesJson({}), "\"categories\":[]}");
  const std::string message = WriteInitMessage(false, SystemInfo{}, WriteCategoriesJson({}));
  EXPECT_TRUE(message.ends_with("\"categories\":[]}"));
}

TEST(WriteCategoriesJson, CategoryWithoutTweaksHasAnEmptyList) {
  const Catalogue catalogue = {
      Category{.key = "a", .name = "a", .tweaks = {}},
      Category{
          .key = "b", .name = "b", .tweaks = {Tweak{.name = "t", .script = "", .recommended = false, .warn = true}}}};
  EXPECT_EQ(WriteCategoriesJson(catalogue),
            "\"categories\":[{\"key\":\"a\",\"name\":\"a\",\"tweaks\":[]},{\"key\":\"b\",\"name\":\"b\",\"tweaks\":"
            "[{\"id\":0,\"name\":\"t\",\"recommended\":false,\"warn\":true}]}]}");
}

TEST(WriteCategoriesJson, IdsRunAcrossCategories) {
  const TweakDef rows[] = {{"b1", 1, "", 1, 0}, {"a1", 0, "", 1, 0}, {"a2", 0, "", 0, 0}, {nullptr, 1, "", 0, 1}};
  EXPECT_EQ(WriteCategoriesJson(BuildCatalogueFrom(rows)),
            "\"categories\":[{\"key\":\"cleanup\",\"name\":\"cleanup\",\"tweaks\":[{\"id\":0,\"name\":\"a1\","
            "\"recommended\":true,\"warn\":false},{\"id\":1,\"name\":\"a2\",\"recommended\":false,\"warn\":false}]},"
            "{\"key\":\"telemetry\",\"name\":\"telemetry\",\"tweaks\":[{\"id\":2,\"name\":\"b1\",\"recommended\":"
            "true,\"warn\":false},{\"id\":3,\"name\":\"\",\"recommended\":false,\"warn\":true}]}]}");
}

TEST(WriteCategoriesJson, FullTableIs40002BytesWithEscapedQuotes) {
  const std::string json = WriteCategoriesJson(BuildCatalogue());
  EXPECT_EQ(json.size(), 40002u);
  EXPECT_TRUE(json.starts_with(
      "\"categories\":[{\"key\":\"cleanup\",\"name\":\"cleanup\",\"tweaks\":[{\"id\":0,\"name\":\"Deep System "
      "Cleanup (bulk: temp, logs, caches, prefetch)\",\"recommended\":true,\"warn\":false},{\"id\":1,"));
  EXPECT_NE(json.find("{\"id\":31,\"name\":\"Clear \\\"Cryptographic Services\\\" diagnostic traces\","),
            std::string::npos);
  EXPECT_NE(json.find("{\"id\":39,\"name\":\"Clear \\\"Windows System Assessment Tool (`WinSAT`)\\\" logs\","),
            std::string::npos);
  EXPECT_NE(json.find("{\"id\":403,\"name\":\"Remove \\\"Movies ^& TV\\\" app\",\"recommended\":false,"
                      "\"warn\":true}"),
            std::string::npos);
  EXPECT_NE(json.find("{\"key\":\"power\",\"name\":\"power\",\"tweaks\":[{\"id\":265,\"name\":\"Disable "
                      "hibernation for faster startup and to avoid sensitive data storage\","),
            std::string::npos);
  EXPECT_TRUE(
      json.ends_with("{\"id\":420,\"name\":\"Disable history of recently opened documents\","
                     "\"recommended\":true,\"warn\":false}]}]}"));
}

class BuildInitMessageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (g_catalogue.empty()) g_catalogue = BuildCatalogue();
  }
};

TEST_F(BuildInitMessageTest, CataloguePartIsTheWrittenOneWhateverTheMachine) {
  const std::string message = BuildInitMessage();
  ASSERT_TRUE(message.starts_with("{\"type\":\"init\",\"admin\":"));
  const size_t start = message.find(kCategoriesStart);
  ASSERT_NE(start, std::string::npos);
  EXPECT_EQ(message.size() - start, 40002u);
  EXPECT_EQ(message.substr(start), WriteCategoriesJson(g_catalogue));
  // Probed afresh: the head is what this machine and process give now.
  EXPECT_EQ(message.substr(0, start), WriteInitMessage(IsElevated(), ProbeSystem(), ""));
}

TEST_F(BuildInitMessageTest, IndexNamesTheTweaksByTheirIds) {
  BuildInitMessage();
  ASSERT_EQ(TweakIndexSize(), 421u);
  const Tweak* tweak265 = TweakIndexAt(265);
  ASSERT_NE(tweak265, nullptr);
  EXPECT_EQ(tweak265->name, "Disable hibernation for faster startup and to avoid sensitive data storage");
  EXPECT_EQ(tweak265, &g_catalogue[7].tweaks[0]);
  ASSERT_NE(TweakIndexAt(420), nullptr);
  EXPECT_EQ(TweakIndexAt(420), &g_catalogue.back().tweaks.back());
  EXPECT_EQ(TweakIndexAt(421), nullptr);
  EXPECT_EQ(TweakIndexAt(static_cast<size_t>(-1)), nullptr);
}

TEST_F(BuildInitMessageTest, TwoBuildsGiveTheSameTextAndTheSameIndex) {
  const std::string first = BuildInitMessage();
  std::vector<const Tweak*> entries;
  for (size_t id = 0; id < TweakIndexSize(); ++id) entries.push_back(TweakIndexAt(id));
  const std::string second = BuildInitMessage();
  EXPECT_EQ(first, second);
  ASSERT_EQ(TweakIndexSize(), entries.size());
  for (size_t id = 0; id < entries.size(); ++id) EXPECT_EQ(TweakIndexAt(id), entries[id]) << id;
}

TEST(UpdateTweakIndex, AnotherCatalogueGetsItsOwnIndexAndTheFirstStaysIntact) {
  const Catalogue first = BuildCatalogue();
  const Catalogue second = PowerOnly();
  const TweakIndex& firstIndex = UpdateTweakIndex(first);
  ASSERT_EQ(firstIndex.size(), 421u);
  const TweakIndex& secondIndex = UpdateTweakIndex(second);
  EXPECT_EQ(TweakIndexSize(), 1u);
  EXPECT_EQ(TweakIndexAt(0), &second[0].tweaks[0]);
  EXPECT_EQ(firstIndex.size(), 421u);
  EXPECT_EQ(firstIndex[265], &first[7].tweaks[0]);
  // Numbering the first again reuses its index instead of making a new one.
  EXPECT_EQ(&UpdateTweakIndex(first), &firstIndex);
  EXPECT_EQ(&UpdateTweakIndex(second), &secondIndex);
  EXPECT_EQ(UpdateTweakIndex(Catalogue{}).size(), 0u);
  EXPECT_EQ(TweakIndexAt(0), nullptr);
}

}  // namespace

// The row's model reaches "details" as written, quoted, with its
// reversibility counted over the steps that leave a lasting change.
TEST(WriteDetailsMessage, CarriesKeysDescriptionsStepsAndCost) {
  static constexpr StepParam kKey[] = {{"key", "HKLM\\A"}};
  static constexpr StepDef kPartial[] = {{"set-registry-value", "Set \"A\"", StepUndo::kExact, kKey},
                                         {"restart-note", "Restart", StepUndo::kNoChange, {}},
                                         {"delete-files", "Delete <b>", StepUndo::kNone, {}}};
  static constexpr StepDef kNote[] = {{"restart-note", "Restart", StepUndo::kNoChange, {}}};
  static constexpr const char* kDocs[] = {"Policy CSP - A", "B"};
  const TweakDef rows[] = {
      {"t0", 3, "", 1, 0, "security/t0", "Says \"what\".", kDocs, "protection", "\xD0\x97.", kPartial},
      {"t1", 0, "", 0, 1, "cleanup/t1", "", {}, "none", "", kNote},
  };
  EXPECT_EQ(WriteDetailsMessage(BuildCatalogueFrom(rows)),
            R"({"type":"details","tweaks":[)"
            R"({"id":0,"key":"cleanup/t1","description":"","docs":[],"steps":[{"family":"restart-note",)"
            R"("summary":"Restart"}],"reversible":"full","cost":"none","costText":""},)"
            R"({"id":1,"key":"security/t0","description":"Says \"what\".","docs":["Policy CSP - A","B"],)"
            R"("steps":[{"family":"set-registry-value","summary":"Set \"A\""},{"family":"restart-note",)"
            R"("summary":"Restart"},{"family":"delete-files","summary":"Delete <b>"}],"reversible":"partial",)"
            R"("cost":"protection","costText":")"
            "\xD0\x97"
            R"(."}]})");
}

// Every row of the real table has a key, a known cost class and a reason.
TEST(WriteDetailsMessage, EveryCatalogueRowHasAKeyAndACost) {
  for (const TweakDef& row : kTweakDefs) {
    const std::string cost = row.cost;
    EXPECT_TRUE(cost == "none" || cost == "data" || cost == "feature" || cost == "breaks" || cost == "protection")
        << row.key;
    EXPECT_GT(std::string_view(row.costText).size(), 0u) << row.key;
    EXPECT_TRUE(std::string_view(row.key).starts_with(kCategoryKeys[row.category])) << row.key;
    EXPECT_FALSE(row.steps.empty()) << row.key;
  }
}
