#include <gtest/gtest.h>

#include "src/common/text.hpp"

namespace vorlane {
namespace {

TEST(Utf16ToUtf8, PairsJoinAndLoneSurrogatesBecomeReplacement) {
  EXPECT_EQ(utf16_to_utf8(u"a\U0001F600"), "a\xF0\x9F\x98\x80");
  const std::u16string lone{u'a', char16_t(0xD83D), u'b'};
  EXPECT_EQ(utf16_to_utf8(lone), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(utf16_to_utf8_strict(lone), std::nullopt);
  EXPECT_EQ(utf16_to_utf8_strict(u"S-1-5-21"), "S-1-5-21");
}

TEST(Utf8ToUtf16, RoundTripsAndReplacesInvalidBytes) {
  EXPECT_EQ(utf8_to_utf16("\xE4\xB8\xAD\xF0\x9F\x98\x80"), u"\u4E2D\U0001F600");
  EXPECT_EQ(utf8_to_utf16("a\xFF" "b"), u"a\uFFFDb");
}

TEST(Utf8Validation, RejectsOverlongSurrogatesAndTruncation) {
  EXPECT_TRUE(is_valid_utf8("plain \xE4\xB8\xAD"));
  EXPECT_FALSE(is_valid_utf8("\xC0\xAF"));          // overlong "/"
  EXPECT_FALSE(is_valid_utf8("\xED\xA0\x80"));      // encoded surrogate
  EXPECT_FALSE(is_valid_utf8("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(is_valid_utf8("\xE4\xB8"));          // cut short
  EXPECT_EQ(sanitize_utf8("a\x80z"), "a\xEF\xBF\xBDz");
}

TEST(AsciiCase, FoldsOnlyAsciiLetters) {
  EXPECT_EQ(ascii_lower("C:\\Program Files\\\xC3\x84"), "c:\\program files\\\xC3\x84");
  EXPECT_TRUE(ascii_iequals("s-1-5-21", "S-1-5-21"));
  EXPECT_FALSE(ascii_iequals("S-1-5-21", "S-1-5-211"));
}

}  // namespace
}  // namespace vorlane
