#include "setup/layout.hpp"

#include <gtest/gtest.h>

#include <map>

namespace vorlane::setup {
namespace {

EnvironmentLookup environment(std::map<std::string, std::string> vars) {
  return [vars = std::move(vars)](std::string_view name) -> std::optional<std::string> {
    const auto found = vars.find(std::string(name));
    if (found == vars.end()) return std::nullopt;
    return found->second;
  };
}

struct ProgramFilesCase {
  const char* label;
  std::map<std::string, std::string> vars;
  const char* expected_install_dir;
};

void PrintTo(const ProgramFilesCase& c, std::ostream* os) { *os << c.label; }

class ProgramFilesChoice : public ::testing::TestWithParam<ProgramFilesCase> {};

TEST_P(ProgramFilesChoice, FollowsTheFirstVariableThatIsSet) {
  const auto env = environment(GetParam().vars);
  const std::string dir = GetParam().expected_install_dir;
  EXPECT_EQ(helper_install_dir(env), dir);
  EXPECT_EQ(installed_program_path(env), dir + "\\Keyward.exe");
  EXPECT_EQ(records_dir(env), dir + "\\users");
  EXPECT_EQ(record_path(env, "S-1-5-21-1-2-3-1001"), dir + "\\users\\S-1-5-21-1-2-3-1001.json");
}

INSTANTIATE_TEST_SUITE_P(
    Layout, ProgramFilesChoice,
    ::testing::Values(
        ProgramFilesCase{"both", {{"ProgramFiles", "D:\\PF"}, {"ProgramW6432", "E:\\W"}},
                         "D:\\PF\\Vorlane\\InputHelper"},
        ProgramFilesCase{"only_w6432", {{"ProgramW6432", "E:\\W"}}, "E:\\W\\Vorlane\\InputHelper"},
        ProgramFilesCase{"empty_counts_as_unset", {{"ProgramFiles", ""}, {"ProgramW6432", "E:\\W"}},
                         "E:\\W\\Vorlane\\InputHelper"},
        ProgramFilesCase{"neither", {}, "C:\\Program Files\\Vorlane\\InputHelper"},
        ProgramFilesCase{"trailing_separator", {{"ProgramFiles", "D:\\PF\\"}},
                         "D:\\PF\\Vorlane\\InputHelper"},
        ProgramFilesCase{"trailing_slash", {{"ProgramFiles", "D:/PF/"}},
                         "D:/PF/Vorlane\\InputHelper"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Layout, IsComputedAfreshOnEveryCall) {
  std::string value = "D:\\One";
  const EnvironmentLookup env = [&value](std::string_view name) -> std::optional<std::string> {
    if (name == "ProgramFiles") return value;
    return std::nullopt;
  };
  EXPECT_EQ(helper_install_dir(env), "D:\\One\\Vorlane\\InputHelper");
  value = "D:\\Two";
  EXPECT_EQ(helper_install_dir(env), "D:\\Two\\Vorlane\\InputHelper");
}

TEST(JoinPath, InsertsASeparatorOnlyWhereNeeded) {
  EXPECT_EQ(join_path("C:\\gui", "Vorlane.exe"), "C:\\gui\\Vorlane.exe");
  EXPECT_EQ(join_path("C:\\gui\\", "Vorlane.exe"), "C:\\gui\\Vorlane.exe");
  EXPECT_EQ(join_path("C:/gui/", "Vorlane.exe"), "C:/gui/Vorlane.exe");
  EXPECT_EQ(join_path("", "Vorlane.exe"), "Vorlane.exe");
}

}  // namespace
}  // namespace vorlane::setup
