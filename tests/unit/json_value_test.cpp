// The strict reader: what it accepts and what it refuses, as a table.
#include "protocol/json_value.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ParseJson, AcceptsExactlyJsonText) {
  const char* accepted[] = {
      "0",
      "-0",
      "1.5e-3",
      " [ ] ",
      "{}",
      "\"\"",
      "true",
      "null",
      R"({"a":[1,{"b":"c"}],"d":false})",
      R"("\u00e9\ud83d\ude00\n\/")",
      "\"\xD0\xAF\xF0\x9F\x98\x80\"",
  };
  for (const char* text : accepted) EXPECT_TRUE(ParseJson(text)) << text;
  const std::string refused[] = {
      "",
      "01",
      "1.",
      ".5",
      "+1",
      "1e",
      "[1,]",
      "{\"a\":1,}",
      "{\"a\":1,\"a\":2}",
      "// x\n{}",
      "{} {}",
      "'a'",
      "\"\\ud800\"",
      "\"\\udc00\"",
      "\"\\x41\"",
      "\"a\tb\"",
      "\"\xC0\xAF\"",
      "\"\xED\xA0\x80\"",
      "\"\xF4\x90\x80\x80\"",
      "\"abc",
      "tru",
      "NaN",
      std::string(kJsonMaxDepth + 1, '[') + std::string(kJsonMaxDepth + 1, ']'),
      std::string("\"a\0b\"", 5),
  };
  for (const std::string& text : refused) EXPECT_FALSE(ParseJson(text)) << text;
  EXPECT_TRUE(ParseJson(std::string(kJsonMaxDepth, '[') + std::string(kJsonMaxDepth, ']')));
}

TEST(ParseJson, DecodesStringsAndReadsMembersAndIntegers) {
  const auto value = ParseJson(R"({"s":"a\"\\\u0041\ud83d\ude00","n":-2147483648,"big":2147483648,"f":1.0,"e":1e2})");
  ASSERT_TRUE(value);
  EXPECT_EQ(JsonStringMember(*value, "s"), "a\"\\A\xF0\x9F\x98\x80");
  EXPECT_EQ(JsonStringMember(*value, "n"), std::nullopt);
  EXPECT_EQ(JsonInt32(*JsonMember(*value, "n")), INT32_MIN);
  for (const char* key : {"big", "f", "e", "s"}) EXPECT_EQ(JsonInt32(*JsonMember(*value, key)), std::nullopt) << key;
  EXPECT_EQ(JsonMember(*value, "missing"), nullptr);
  EXPECT_EQ(JsonMember(*JsonMember(*value, "n"), "x"), nullptr);
}

}  // namespace
