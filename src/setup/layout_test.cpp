#include <gtest/gtest.h>

#include "src/setup/layout.hpp"

namespace vorlane::setup {
namespace {

struct LayoutCase {
  const char* label;
  const char* program_files;
  const char* expected_install_dir;
};

void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.label; }

class LayoutUnder : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutUnder, EveryPathFollowsTheGivenProgramFilesFolder) {
  const std::string program_files = GetParam().program_files;
  const std::string dir = GetParam().expected_install_dir;
  EXPECT_EQ(helper_install_dir(program_files), dir);
  EXPECT_EQ(installed_program_path(program_files), dir + "\\Keyward.exe");
  EXPECT_EQ(records_dir(program_files), dir + "\\users");
  EXPECT_EQ(record_path(program_files, "S-1-5-21-1-2-3-1001"),
            dir + "\\users\\S-1-5-21-1-2-3-1001.json");
}

INSTANTIATE_TEST_SUITE_P(
    Layout, LayoutUnder,
    ::testing::Values(
        LayoutCase{"default_folder", "C:\\Program Files", "C:\\Program Files\\Vorlane\\InputHelper"},
        LayoutCase{"other_drive", "D:\\PF", "D:\\PF\\Vorlane\\InputHelper"},
        LayoutCase{"trailing_separator", "D:\\PF\\", "D:\\PF\\Vorlane\\InputHelper"},
        LayoutCase{"trailing_slash", "D:/PF/", "D:/PF/Vorlane\\InputHelper"},
        LayoutCase{"non_ascii", "D:\\程序", "D:\\程序\\Vorlane\\InputHelper"}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace vorlane::setup
