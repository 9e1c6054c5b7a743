// Built by the native preset and by the windows preset (run under Wine), so the
// portable converter and the Windows one face the same cases.
#include "protocol/json_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

std::u16string U16(std::initializer_list<char16_t> units) { return std::u16string(units); }

TEST(Utf8ToUtf16, EmptyGivesEmpty) { EXPECT_EQ(Utf8ToUtf16(""), u""); }

TEST(Utf8ToUtf16, ConvertsCyrillicAndFourByteCharacters) {
  EXPECT_EQ(Utf8ToUtf16("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"), u"Привет");
  // U+1F600 becomes a surrogate pair.
  EXPECT_EQ(Utf8ToUtf16("a\xF0\x9F\x98\x80z"), U16({u'a', 0xD83D, 0xDE00, u'z'}));
}

TEST(Utf8ToUtf16, EmbeddedNulIsConvertedLikeAnyOtherCharacter) {
  EXPECT_EQ(Utf8ToUtf16("a\0b"s), U16({u'a', 0, u'b'}));
  EXPECT_EQ(Utf8ToUtf16("\0"s), U16({0}));
}

TEST(Utf8ToUtf16, InvalidByteBecomesReplacementCharacter) {
  EXPECT_EQ(Utf8ToUtf16("a\xFFz"), U16({u'a', 0xFFFD, u'z'}));
  EXPECT_EQ(Utf8ToUtf16("\x80"), U16({0xFFFD}));
  EXPECT_EQ(Utf8ToUtf16("\xC0\x80"), U16({0xFFFD, 0xFFFD}));
}

TEST(Utf8ToUtf16, TruncatedSequenceBecomesOneReplacementCharacter) {
  EXPECT_EQ(Utf8ToUtf16("\xE2\x82"), U16({0xFFFD}));
  EXPECT_EQ(Utf8ToUtf16("a\xF0\x9F\x98"), U16({u'a', 0xFFFD}));
  EXPECT_EQ(Utf8ToUtf16("\xE2\x82z"), U16({0xFFFD, u'z'}));
}

TEST(Utf16ToUtf8, EmptyGivesEmpty) { EXPECT_EQ(Utf16ToUtf8(u""), ""); }

TEST(Utf16ToUtf8, ConvertsCyrillicAndSurrogatePairs) {
  EXPECT_EQ(Utf16ToUtf8(u"Привет"), "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
  EXPECT_EQ(Utf16ToUtf8(U16({0xD83D, 0xDE00})), "\xF0\x9F\x98\x80");
}

TEST(Utf16ToUtf8, LoneSurrogatesBecomeReplacementCharacter) {
  EXPECT_EQ(Utf16ToUtf8(U16({0xD800})), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(U16({0xDC00, u'A'})),
            "\xEF\xBF\xBD"
            "A");
  // A high surrogate followed by a complete pair: only the first is unpaired.
  EXPECT_EQ(Utf16ToUtf8(U16({0xD800, 0xD800, 0xDC00})), "\xEF\xBF\xBD\xF0\x90\x80\x80");
}

TEST(Utf16ToUtf8, EmbeddedNulIsConverted) { EXPECT_EQ(Utf16ToUtf8(U16({0, u'A'})), "\0A"s); }

TEST(JsonEscape, ByteTable) {
  EXPECT_EQ(JsonEscape("\"\\\b\f\n\r\t"), R"(\"\\\b\f\n\r\t)");
  EXPECT_EQ(JsonEscape("\0\x01\x1b\x1f"s), R"(\u0000\u0001\u001b\u001f)");
  // '/', DEL and UTF-8 sequences are copied unchanged.
  EXPECT_EQ(JsonEscape("/\x7F\xC3\xA9\xFF"), "/\x7F\xC3\xA9\xFF");
}

TEST(JsonQuote, WrapsTheEscapedText) {
  EXPECT_EQ(JsonQuote(""), R"("")");
  EXPECT_EQ(JsonQuote("\t\""), R"("\t\"")");
}

TEST(JsonGetString, ReadsTheValueAfterTheKey) {
  EXPECT_EQ(JsonGetString(R"({"cmd":"ready"})", "cmd"), "ready");
  EXPECT_EQ(JsonGetString(R"({"cmd" :  "ready"})", "cmd"), "ready");
  EXPECT_EQ(JsonGetString(R"({"a":1,"cmd":"go"})", "cmd"), "go");
}

TEST(JsonGetString, GivesEmptyWhenNoStringFollows) {
  EXPECT_EQ(JsonGetString(R"({"cmd":5})", "cmd"), "");
  EXPECT_EQ(JsonGetString(R"({"Cmd":"ready"})", "cmd"), "");
  EXPECT_EQ(JsonGetString(R"({"x":"y"})", "cmd"), "");
  EXPECT_EQ(JsonGetString("{\"cmd\":\t\"ready\"}", "cmd"), "");
  EXPECT_EQ(JsonGetString(R"("cmd")", "cmd"), "");
  EXPECT_EQ(JsonGetString(R"(cmd)", "cmd"), "");
  EXPECT_EQ(JsonGetString("", ""), "");
}

TEST(JsonGetString, KeepsEscapedBytesWithoutDecodingThem) {
  EXPECT_EQ(JsonGetString(R"({"cmd":"a\"b\\c\nd\u0041"})", "cmd"), R"(a"b\cndu0041)");
  // Unterminated value: everything to the end; a trailing backslash is kept.
  EXPECT_EQ(JsonGetString(R"({"cmd":"rea)", "cmd"), "rea");
  EXPECT_EQ(JsonGetString(R"({"cmd":"ab\)", "cmd"), "ab\\");
}

TEST(JsonGetString, FirstOccurrenceWinsEvenInsideAValue) {
  EXPECT_EQ(JsonGetString(R"({"a":"cmd","cmd":"x"})", "cmd"), "");
  EXPECT_EQ(JsonGetString(R"({"a":"cmd":"x"})", "cmd"), "x");
}

using Ints = std::vector<int32_t>;

TEST(JsonGetIntArray, ReadsPlainIntegersOfTheTopLevelKey) {
  EXPECT_EQ(JsonGetIntArray(R"({"ids":[1,2,3]})", "ids"), (Ints{1, 2, 3}));
  EXPECT_EQ(JsonGetIntArray(" {\"cmd\" : \"optimize\",\n\t\"ids\" : [ 4 , 5 ] }\r\n", "ids"), (Ints{4, 5}));
  EXPECT_EQ(JsonGetIntArray(R"({"ids":[-3,0,-0]})", "ids"), (Ints{-3, 0, 0}));
  EXPECT_EQ(JsonGetIntArray(R"({"ids":[]})", "ids"), Ints{});
  EXPECT_EQ(JsonGetIntArray(R"({"ids":[2147483647,-2147483648]})", "ids"), (Ints{2147483647, -2147483647 - 1}));
  // Other members may hold anything JSON allows, "ids" among it.
  EXPECT_EQ(JsonGetIntArray(R"({"a":{"ids":[9],"b":[true,null,1.5e3,"\"ids\":[8]"]},"ids":[7],"c":"\u0069"})", "ids"),
            (Ints{7}));
  // An escaped name is the same name.
  EXPECT_EQ(JsonGetIntArray(R"({"\u0069ds":[6]})", "ids"), (Ints{6}));
}

TEST(JsonGetIntArray, AnythingButOneArrayOfPlainIntegersIsNothing) {
  for (const char* text : {R"({"ids":["4","5"]})",
                           R"({"ids":[1.5]})",
                           R"({"ids":[1e2]})",
                           R"({"ids":[-]})",
                           R"({"ids":[--5]})",
                           R"({"ids":[12-3]})",
                           R"({"ids":[01]})",
                           R"({"ids":[+1]})",
                           R"({"ids":[1,]})",
                           R"({"ids":[,1]})",
                           R"({"ids":[1 2]})",
                           R"({"ids":[2147483648]})",
                           R"({"ids":[-2147483649]})",
                           R"({"ids":[99999999999]})",
                           R"({"ids":[[1,2],[3]]})",
                           R"({"ids":[1,2)",
                           R"({"ids":5})",
                           R"({"ids":)",
                           R"({"other":[1]})",
                           R"({"a":"ids","b":[1]})",
                           R"({"x":{"ids":[1]}})",
                           R"([{"ids":[1]}])",
                           R"({"ids":[1],"ids":[1]})",
                           R"({"ids":[1],"\u0069ds":[2]})",
                           R"({"ids":[1]} {"ids":[2]})",
                           R"({"ids":[1]}x)",
                           R"({"ids":[1],})",
                           R"({ids:[1]})",
                           "{\"ids\":[1],\"a\":\"\x01\"}",
                           R"({"ids":[1],"a":tru})",
                           "",
                           "not json",
                           "{\"ids\":[7\xD0\x9F"
                           "8]}"}) {
    EXPECT_EQ(JsonGetIntArray(text, "ids"), std::nullopt) << text;
  }
  // Nesting deeper than the reader follows is refused, not followed.
  EXPECT_EQ(JsonGetIntArray("{\"a\":" + std::string(100, '[') + std::string(100, ']') + ",\"ids\":[1]}", "ids"),
            std::nullopt);
  EXPECT_EQ(JsonGetIntArray("{\"a\":" + std::string(50, '[') + std::string(50, ']') + ",\"ids\":[1]}", "ids"),
            (Ints{1}));
}

}  // namespace
