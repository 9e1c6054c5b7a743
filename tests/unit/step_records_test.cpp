// The model the generator writes beside each body: step records with their
// undo class and summary, and the row's description, documentation and cost.
#include "tools/generators/script_body/step_records.h"

#include <gtest/gtest.h>

#include <string>

#include "tools/generators/script_body/families.h"

namespace {

// Every family of the body generator has a record: a summary naming what the
// block gives, and an undo class. A family added without one, or a summary
// that reads a parameter under the wrong name, fails here.
TEST(StepRecords, EveryFamilyYieldsARecordThatNamesItsParameters) {
  size_t families = 0;
  for (auto group : {RegistryFamilies(), FileFamilies(), ServiceFamilies(), SystemFamilies()}) {
    for (const FamilyDef& family : group) {
      ++families;
      std::string source = std::string(family.name) + ":\n";
      for (std::string_view name : family.required) {
        const std::string value = family.name == "restart-note" ? "computer" : "V-" + std::string(name);
        source += "  " + std::string(name) + ": " + value + "\n";
      }
      const RowRecord row = DescribeRow(source);
      ASSERT_EQ(row.steps.size(), 1u) << source;
      const StepRecord& step = row.steps[0];
      EXPECT_EQ(step.family, family.name);
      StepUndo undo;
      ASSERT_TRUE(FamilyUndo(family.name, &undo)) << family.name;
      EXPECT_EQ(step.undo, undo) << family.name;
      EXPECT_FALSE(step.summary.empty()) << family.name;
      EXPECT_EQ(step.params.size(), family.required.size()) << family.name;
      for (std::string_view name : family.required) {
        if (family.name == "restart-note") continue;
        EXPECT_NE(step.summary.find("V-" + std::string(name)), std::string::npos)
            << family.name << ": " << step.summary;
      }
    }
  }
  EXPECT_EQ(families, 31u);
}

TEST(StepRecords, RowTakesItsDescriptionFromTheLeadingCommentsOnly) {
  const RowRecord row = DescribeRow(
      "# Turns the thing off.\n"
      "#   Second line, \"quoted\".\n"
      "#\n"
      "# A new paragraph.\n"
      "title: The thing\n"
      "cost: feature\n"
      "cost-ru: \xD0\x9E\xD1\x82\xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87\xD0\xB0\xD0\xB5\xD1\x82.\n"
      "docs: Policy CSP - Experience\n"
      "docs: Microsoft Edge - Policies\n"
      "# A note between blocks is no part of the description.\n"
      "set-registry-value:\n"
      "  key: HKLM\\Software\\Policies\\A\n"
      "  value: Enabled\n"
      "  type: REG_DWORD\n"
      "  data: 0\n"
      "  min-version: Windows10-1607\n"
      "plain: Turns hibernation off\n"
      "  powercfg -h off\n"
      "plain:\n"
      "  echo # not a comment\n");
  EXPECT_EQ(row.description, "Turns the thing off. Second line, \"quoted\".\n\nA new paragraph.");
  EXPECT_EQ(row.docs, (std::vector<std::string>{"Policy CSP - Experience", "Microsoft Edge - Policies"}));
  EXPECT_EQ(row.cost, "feature");
  EXPECT_EQ(row.costText, "\xD0\x9E\xD1\x82\xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87\xD0\xB0\xD0\xB5\xD1\x82.");
  ASSERT_EQ(row.steps.size(), 3u);
  EXPECT_EQ(row.steps[0].summary,
            "Set HKLM\\Software\\Policies\\A value \"Enabled\" to 0 (REG_DWORD) (Windows10-1607 and later)");
  EXPECT_EQ(row.steps[0].undo, StepUndo::kExact);
  EXPECT_EQ(row.steps[1].summary, "Turns hibernation off");
  EXPECT_EQ(row.steps[1].undo, StepUndo::kNone);
  EXPECT_EQ(row.steps[2].summary, "Run batch commands");
  EXPECT_EQ(DescribeRow("title: No notes\nempty-recycle-bin:\n").description, "");
}

}  // namespace
