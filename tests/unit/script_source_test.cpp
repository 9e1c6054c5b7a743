// The row source format: blocks, parameters, plain lines and the errors that
// name their line.
#include "tools/generators/script_body/script_source.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<SourceBlock> Parse(const std::string& source, std::string* error) {
  return ParseScriptSource(source, error);
}

std::string ErrorOf(const std::string& source) {
  std::string error;
  EXPECT_TRUE(Parse(source, &error).empty()) << source;
  return error;
}

TEST(ScriptSource, ReadsDirectivesAndFamilyBlocksInOrder) {
  std::string error;
  std::vector<SourceBlock> blocks = Parse(
      "# a source comment\n"
      "title: Disable telemetry\n"
      "\n"
      "set-registry-value:\n"
      "  key: HKLM\\Software\\Test\n"
      "  # a comment between parameters\n"
      "  value: Name: with colon\n"
      "  data:\n"
      "comment: done\n"
      "separator\n",
      &error);
  ASSERT_EQ(blocks.size(), 4u) << error;
  EXPECT_EQ(blocks[0].kind, "title");
  EXPECT_EQ(blocks[0].text, "Disable telemetry");
  EXPECT_EQ(blocks[1].kind, "set-registry-value");
  EXPECT_EQ(blocks[1].line, 4);
  ASSERT_EQ(blocks[1].params.size(), 3u);
  EXPECT_EQ(blocks[1].params[0].name, "key");
  EXPECT_EQ(blocks[1].params[0].value, "HKLM\\Software\\Test");
  EXPECT_EQ(blocks[1].params[0].line, 5);
  EXPECT_EQ(blocks[1].params[1].value, "Name: with colon");
  EXPECT_EQ(blocks[1].params[2].value, "");
  EXPECT_EQ(blocks[2].kind, "comment");
  EXPECT_EQ(blocks[2].text, "done");
  EXPECT_EQ(blocks[3].kind, "separator");
}

TEST(ScriptSource, PlainBlockKeepsInnerEmptyLinesAndDeeperIndentButNotTrailingEmptyLines) {
  std::string error;
  std::vector<SourceBlock> blocks = Parse(
      "plain:\n"
      "  if exist x (\n"
      "    del x\n"
      "\n"
      "  )\n"
      "\n"
      "\n"
      "separator\n",
      &error);
  ASSERT_EQ(blocks.size(), 2u) << error;
  EXPECT_EQ(blocks[0].lines, (std::vector<std::string>{"if exist x (", "  del x", "", ")"}));
  EXPECT_EQ(blocks[1].kind, "separator");
}

TEST(ScriptSource, BlockWithoutParametersEndsAtTheNextBlock) {
  std::string error;
  std::vector<SourceBlock> blocks = Parse("empty-recycle-bin:\nactivate-disallow-run:\n", &error);
  ASSERT_EQ(blocks.size(), 2u) << error;
  EXPECT_TRUE(blocks[0].params.empty());
  EXPECT_EQ(blocks[1].kind, "activate-disallow-run");
}

TEST(ScriptSource, MalformedSourcesNameTheirLine) {
  EXPECT_EQ(ErrorOf("title: x\r\n"), "line 1: carriage return (lines must end with LF only)");
  EXPECT_EQ(ErrorOf("separator\n  key: x\n"), "line 2: indented line outside a block");
  EXPECT_EQ(ErrorOf("title: a\nSet-Value:\n"),
            "line 2: expected \"family:\", a directive \"name: text\" or \"separator\"");
  EXPECT_EQ(ErrorOf("disable-service: DiagTrack\n"),
            "line 1: a block line \"disable-service:\" takes nothing after the colon");
  EXPECT_EQ(ErrorOf("disable-service:\n  service DiagTrack\n"), "line 2: expected a parameter line \"  name: value\"");
  EXPECT_EQ(ErrorOf("disable-service:\n  service: A\n  service: B\n"), "line 3: parameter \"service\" given twice");
  EXPECT_EQ(ErrorOf("title:\n"), "line 1: title without text");
  EXPECT_EQ(ErrorOf("plain:\nseparator\n"), "line 1: plain block without lines");
  EXPECT_EQ(ErrorOf("disable-service:\n  service: A\r\n"), "line 2: carriage return (lines must end with LF only)");
  EXPECT_EQ(ErrorOf("\n# only comments\n"), "the source holds no block");
}

}  // namespace
