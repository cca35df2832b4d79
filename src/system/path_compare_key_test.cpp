#include <gtest/gtest.h>

#include "src/system/path_compare_key.hpp"

namespace vorlane::system {
namespace {

struct KeyCase {
  const char* name;
  std::string path;
  std::string key;
};
void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }

class PathCompareKey : public ::testing::TestWithParam<KeyCase> {};

TEST_P(PathCompareKey, NormalisesOnlySeparatorsTrailingSlashesAndAsciiCase) {
  EXPECT_EQ(path_compare_key(GetParam().path), GetParam().key);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PathCompareKey,
    ::testing::Values(
        KeyCase{"forward_slashes_and_case", "C:/Program Files/Vorlane/Vorlane.exe",
                "c:\\program files\\vorlane\\vorlane.exe"},
        KeyCase{"upper_case_spelling", "c:\\PROGRAM FILES\\vorlane\\Vorlane.exe",
                "c:\\program files\\vorlane\\vorlane.exe"},
        KeyCase{"trailing_separators_of_both_kinds", "C:\\V\\/\\", "c:\\v"},
        KeyCase{"only_separators", "\\/\\", ""},
        KeyCase{"non_ascii_letters_keep_their_case", "C:\\Ä\\É.exe", "c:\\Ä\\É.exe"},
        KeyCase{"verbatim_prefix_is_kept", "\\\\?\\C:\\V.exe", "\\\\?\\c:\\v.exe"},
        KeyCase{"inner_doubled_separators_stay", "C:\\\\V", "c:\\\\v"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PathCompareKeyNonAscii, PathsDifferingOnlyInNonAsciiCaseStayDifferent) {
  EXPECT_NE(path_compare_key("C:\\Ä\\Vorlane.exe"), path_compare_key("C:\\ä\\Vorlane.exe"));
}

}  // namespace
}  // namespace vorlane::system
