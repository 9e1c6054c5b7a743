// The page document embedded by the build is the file page/index.html byte for
// byte, and it is a text the host can hand to the web view as it stands.
#include "page/page_document.h"

#include "protocol/json_text.h"
#include "tests/unit/embed_text_fixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace {

std::string ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << path;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string_view Embedded() { return {kPageDocument, kPageDocumentSize}; }

TEST(PageDocument, EmbeddedBytesEqualTheSourceFile) {
  const std::string file = ReadFile(QF_PAGE_SOURCE);
  ASSERT_FALSE(file.empty());
  EXPECT_EQ(kPageDocumentSize, file.size());
  EXPECT_TRUE(Embedded() == file);
  EXPECT_EQ(kPageDocument[kPageDocumentSize], '\0');
}

TEST(PageDocument, IsUtf8WithLineFeedsOnlyAndNoNul) {
  const std::string_view doc = Embedded();
  EXPECT_EQ(doc.find('\r'), std::string_view::npos);
  EXPECT_EQ(doc.find('\0'), std::string_view::npos);
  // A UTF-8 text survives the round trip through UTF-16 unchanged; an invalid
  // sequence would come back as U+FFFD.
  EXPECT_TRUE(Utf16ToUtf8(Utf8ToUtf16(doc)) == doc);
  EXPECT_EQ(doc.substr(0, 3), "<!D") << "no byte order mark before the document type";
}

TEST(PageDocument, IsOneCompleteHtmlDocument) {
  const std::string_view doc = Embedded();
  EXPECT_TRUE(doc.starts_with("<!DOCTYPE html>\n<html lang=\"ru\">\n"));
  EXPECT_TRUE(doc.ends_with("</html>\n"));
}

TEST(EmbedText, KeepsEveryByteValueEscapeAndTheMissingFinalLineFeed) {
  std::string expected;
  for (int byte = 0; byte < 256; ++byte) expected += static_cast<char>(byte);
  expected += "?\?=?\?/ \"\\x41\\101\" \r\n\r\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\xE2\x80\x94";
  expected += "tail without newline";
  ASSERT_EQ(kEmbedFixtureSize, expected.size());
  EXPECT_TRUE(std::string_view(kEmbedFixture, kEmbedFixtureSize) == expected);
  EXPECT_EQ(kEmbedFixture[kEmbedFixtureSize], '\0');
}

}  // namespace
