#include <gtest/gtest.h>

#include "installer/shutdown-helper/lowercase.hpp"

namespace vorlane::haltgate {
namespace {

struct LowerCase {
  const char* name;
  const char* input;
  const char* expected;
};
void PrintTo(const LowerCase& c, std::ostream* os) { *os << c.name; }

class UnicodeLower : public ::testing::TestWithParam<LowerCase> {};

TEST_P(UnicodeLower, MapsFullDefaultLowerCase) {
  EXPECT_EQ(unicode_lower(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnicodeLower,
    ::testing::Values(
        LowerCase{"Ascii", R"(\\?\C:\Program Files\VORLANE\Vorlane.EXE)",
                  R"(\\?\c:\program files\vorlane\vorlane.exe)"},
        LowerCase{"LatinAndCyrillic", "ÄÖÜ ÉÈ Ǆ Ѐ ДОМ", "äöü éè ǆ ѐ дом"},
        // The capital dotted I keeps its dot as a combining mark.
        LowerCase{"CapitalDottedI", "İstanbul", "i̇stanbul"},
        LowerCase{"DeseretOutsideTheBmp", "\U00010400\U00010427", "\U00010428\U0001044F"},
        LowerCase{"SigmaWordFinal", "ΟΔΟΣ", "οδος"},
        LowerCase{"SigmaInsideWord", "ΣΟΦΟΣ ΣΟΦΙΑ", "σοφος σοφια"},
        LowerCase{"SigmaAlone", "Σ", "σ"},
        LowerCase{"SigmaBeforeSeparator", "\\ΟΔΟΣ\\x.exe", "\\οδος\\x.exe"},
        // Case-ignorable marks between the letters and the sigma are skipped both ways.
        LowerCase{"SigmaAfterIgnorableMark", "Α\u0301Σ", "α\u0301ς"},
        LowerCase{"SigmaBeforeIgnorableThenLetter", "ΑΣ\u0301Β", "ασ\u0301β"},
        LowerCase{"SigmaAfterDigitIsNotFinal", "1Σ", "1σ"},
        LowerCase{"ReplacementKept", "A\xEF\xBF\xBD", "a\xEF\xBF\xBD"},
        LowerCase{"InvalidBytesBecomeReplacement", "A\xFF", "a\xEF\xBF\xBD"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CaseProperties, MatchTheDerivedProperties) {
  EXPECT_TRUE(is_cased('a'));
  EXPECT_TRUE(is_cased(0x02B0));   // modifier letter small h: Other_Lowercase
  EXPECT_FALSE(is_cased('1'));
  EXPECT_TRUE(is_case_ignorable('\''));
  EXPECT_TRUE(is_case_ignorable(0x0301));
  EXPECT_TRUE(is_case_ignorable(0x02B0));  // both cased and case-ignorable
  EXPECT_FALSE(is_case_ignorable('a'));
  EXPECT_FALSE(is_case_ignorable(0x10FFFF));
}

}  // namespace
}  // namespace vorlane::haltgate
