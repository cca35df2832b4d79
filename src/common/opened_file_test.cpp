#include <gtest/gtest.h>

#include "src/common/opened_file.hpp"

namespace vorlane {
namespace {

const std::u16string folder = u"\\\\?\\C:\\Users\\u\\AppData\\Local";
const std::u16string tail = u"Vorlane\\input-helper-setup.json";
const std::u16string expected = u"\\\\?\\C:\\Users\\u\\AppData\\Local\\Vorlane\\input-helper-setup.json";

TEST(ExpectedFinalPath, JoinsWithOneBackslashAlsoAtAVolumeRoot) {
  EXPECT_EQ(expected_final_path(folder, tail), expected);
  EXPECT_EQ(expected_final_path(u"\\\\?\\D:\\", u"h.log"), u"\\\\?\\D:\\h.log");
  EXPECT_EQ(expected_final_path(u"\\\\?\\UNC\\srv\\share", u"h.log"), u"\\\\?\\UNC\\srv\\share\\h.log");
}

struct FactsCase {
  const char* name;
  OpenedFileFacts facts;
  NameCase name_case;
  std::optional<FileRefusal> refusal;
};
void PrintTo(const FactsCase& c, std::ostream* os) { *os << c.name; }

class OpenedFile : public ::testing::TestWithParam<FactsCase> {};

TEST_P(OpenedFile, IsWrittenOnlyWhenItIsThePlainFileAtThePlaceMeant) {
  EXPECT_EQ(refuse_opened_file(GetParam().facts, expected, GetParam().name_case), GetParam().refusal);
}

const std::u16string linked_folder = u"\\\\?\\C:\\Windows\\System32\\input-helper-setup.json";

INSTANTIATE_TEST_SUITE_P(
    Table, OpenedFile,
    ::testing::Values(
        FactsCase{"plain_file", {false, false, 1, expected}, NameCase::insensitive, std::nullopt},
        FactsCase{"case_only_difference_where_names_ignore_case",
                  {false, false, 1, u"\\\\?\\c:\\users\\U\\appdata\\local\\VORLANE\\Input-Helper-Setup.JSON"},
                  NameCase::insensitive, std::nullopt},
        FactsCase{"case_only_difference_where_names_keep_case",
                  {false, false, 1, u"\\\\?\\C:\\Users\\u\\AppData\\Local\\vorlane\\input-helper-setup.json"},
                  NameCase::sensitive, FileRefusal::other_place},
        FactsCase{"non_ascii_letters_are_not_folded",
                  {false, false, 1, u"\\\\?\\C:\\Users\\u\\AppData\\Local\\Vorlane\\ınput-helper-setup.json"},
                  NameCase::insensitive, FileRefusal::other_place},
        FactsCase{"link_opened_itself", {true, false, 1, expected}, NameCase::insensitive,
                  FileRefusal::reparse_point},
        FactsCase{"reparse_point_beats_every_other_fact", {true, true, 2, linked_folder},
                  NameCase::insensitive, FileRefusal::reparse_point},
        FactsCase{"directory", {false, true, 1, expected}, NameCase::insensitive, FileRefusal::directory},
        FactsCase{"second_hard_link", {false, false, 2, expected}, NameCase::insensitive,
                  FileRefusal::several_links},
        FactsCase{"no_link_left", {false, false, 0, expected}, NameCase::insensitive,
                  FileRefusal::several_links},
        FactsCase{"followed_link_or_linked_folder", {false, false, 1, linked_folder}, NameCase::insensitive,
                  FileRefusal::other_place},
        FactsCase{"same_name_in_a_sibling_folder",
                  {false, false, 1, u"\\\\?\\C:\\Users\\u\\AppData\\LocalLow\\Vorlane\\input-helper-setup.json"},
                  NameCase::insensitive, FileRefusal::other_place},
        FactsCase{"expected_path_is_only_a_prefix", {false, false, 1, expected + u".bak"},
                  NameCase::insensitive, FileRefusal::other_place},
        FactsCase{"longer_than_the_final_path", {false, false, 1, folder + u"\\Vorlane"},
                  NameCase::insensitive, FileRefusal::other_place},
        FactsCase{"no_final_path", {false, false, 1, u""}, NameCase::insensitive, FileRefusal::other_place}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vorlane
