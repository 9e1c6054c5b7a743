// The tweak table generator on scripts that are hard to write as C++ literals:
// every byte value, a line far longer than one literal piece, a body of 210 KB
// (as large as the catalogue's largest), and none at all. The build writes the
// same sources (tests/unit/CMakeLists.txt) and compiles the generated table
// into this program.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "catalogue/catalogue.h"

namespace {

std::string AllBytes() {
  std::string bytes;
  for (int b = 1; b <= 255; ++b) bytes += static_cast<char>(b);
  return bytes;
}

std::string Repeat(std::string_view unit, size_t times) {
  std::string text;
  for (size_t i = 0; i < times; ++i) text += unit;
  return text;
}

TEST(CatalogueTable, RowsKeepTheirOrderCategoriesAndFlags) {
  ASSERT_EQ(kTweakDefs.size(), 4u);
  EXPECT_STREQ(kTweakDefs[0].name, "Bytes \"quoted\" `ticks` ^& 100% \\ end");
  EXPECT_STREQ(kTweakDefs[1].name, "Long line");
  EXPECT_STREQ(kTweakDefs[2].name, "Large body");
  EXPECT_STREQ(kTweakDefs[3].name, "Empty body");
  const int categories[] = {0, 15, 7, 1};
  const int recommended[] = {1, 0, 0, 1};
  const int warn[] = {0, 1, 0, 0};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(kTweakDefs[i].category, categories[i]) << i;
    EXPECT_EQ(kTweakDefs[i].recommended, recommended[i]) << i;
    EXPECT_EQ(kTweakDefs[i].warn, warn[i]) << i;
  }
}

TEST(CatalogueTable, BodiesAreTheirSourcesByteForByte) {
  EXPECT_EQ(std::string(kTweakDefs[0].script), AllBytes());
  EXPECT_EQ(std::string(kTweakDefs[1].script), Repeat("a\"b\\c?\?=d%e^&f?", 700));
  const std::string large = Repeat(
      "PowerShell -ExecutionPolicy Unrestricted -Command \"$name = 'DiagTrack'; Write-Host \"^\"\"Skipping: "
      "C:\\Temp\\%USERNAME%\\\"^\"\"\"\n",
      1750);
  EXPECT_GT(large.size(), 200000u);
  EXPECT_EQ(std::string(kTweakDefs[2].script), large);
  EXPECT_STREQ(kTweakDefs[3].script, "");
}

}  // namespace
