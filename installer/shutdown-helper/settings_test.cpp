#include <gtest/gtest.h>

#include "installer/shutdown-helper/settings.hpp"

namespace vorlane::haltgate {
namespace {

using std::chrono::milliseconds;

struct TimeoutCase {
  const char* text;
  std::optional<long long> expected_ms;
};
void PrintTo(const TimeoutCase& c, std::ostream* os) { *os << c.text; }

class TimeoutGrammar : public ::testing::TestWithParam<TimeoutCase> {};

TEST_P(TimeoutGrammar, AcceptsOnlyUnsignedDecimalsInRange) {
  const auto parsed = parse_timeout(GetParam().text);
  if (GetParam().expected_ms) {
    ASSERT_TRUE(parsed.has_value()) << GetParam().text;
    EXPECT_EQ(parsed->count(), *GetParam().expected_ms);
  } else {
    EXPECT_FALSE(parsed.has_value()) << GetParam().text;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TimeoutGrammar,
    ::testing::Values(TimeoutCase{"100", 100}, TimeoutCase{"+120000", 120000},
                      TimeoutCase{"000500", 500}, TimeoutCase{"30000", 30000},
                      TimeoutCase{"99", std::nullopt}, TimeoutCase{"120001", std::nullopt},
                      TimeoutCase{"", std::nullopt}, TimeoutCase{"+", std::nullopt},
                      TimeoutCase{"++500", std::nullopt}, TimeoutCase{"-500", std::nullopt},
                      TimeoutCase{"5e3", std::nullopt}, TimeoutCase{" 500", std::nullopt},
                      TimeoutCase{"500 ", std::nullopt}, TimeoutCase{"0x200", std::nullopt},
                      // A value past 64 bits must not wrap around into the valid range.
                      TimeoutCase{"18446744073709552616", std::nullopt},
                      TimeoutCase{"00000000000000000000000001000", 1000}));

struct PathCase {
  const char* path;
  bool absolute;
};
void PrintTo(const PathCase& c, std::ostream* os) { *os << c.path; }

class AbsolutePathRule : public ::testing::TestWithParam<PathCase> {};

TEST_P(AbsolutePathRule, Classifies) {
  EXPECT_EQ(is_absolute_path(GetParam().path), GetParam().absolute) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AbsolutePathRule,
    ::testing::Values(PathCase{R"(\\server\share\dir)", true}, PathCase{R"(\\?\C:\dir)", true},
                      PathCase{R"(\\.\C:\dir)", true}, PathCase{"//server/share", true},
                      PathCase{R"(/\x)", true}, PathCase{R"(C:\)", true}, PathCase{"c:/dir", true},
                      PathCase{"C:x", false}, PathCase{"C:", false}, PathCase{R"(\x)", false},
                      PathCase{"/x", false}, PathCase{R"(dir\file)", false}, PathCase{"", false},
                      PathCase{R"(1:\x)", false}));

struct ParentCase {
  const char* path;
  std::vector<std::string> dirs;
};
void PrintTo(const ParentCase& c, std::ostream* os) { *os << c.path; }

class ParentDirectories : public ::testing::TestWithParam<ParentCase> {};

TEST_P(ParentDirectories, ListsCreatableFoldersOutermostFirst) {
  EXPECT_EQ(parent_directories(GetParam().path), GetParam().dirs) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParentDirectories,
    ::testing::Values(
        ParentCase{R"(C:\log.txt)", {}},
        ParentCase{R"(C:\a\b\log.txt)", {R"(C:\a)", R"(C:\a\b)"}},
        ParentCase{"C:/a//b/log.txt", {"C:/a", "C:/a//b"}},
        ParentCase{R"(\\server\share\a\log.txt)", {R"(\\server\share\a)"}},
        ParentCase{R"(\\?\C:\a\log.txt)", {R"(\\?\C:\a)"}},
        ParentCase{R"(\\?\UNC\server\share\a\log.txt)", {R"(\\?\UNC\server\share\a)"}}));

struct SettingsCase {
  const char* name;
  std::vector<std::string> args;  // after the program path
  bool ok;
};
void PrintTo(const SettingsCase& c, std::ostream* os) { *os << c.name; }

class ParseSettings : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(ParseSettings, UsageErrorsExitWith12) {
  std::vector<std::string> words{"Haltgate.exe"};
  words.insert(words.end(), GetParam().args.begin(), GetParam().args.end());
  const auto settings = parse_settings(words);
  EXPECT_EQ(settings.has_value(), GetParam().ok);
  if (!settings) {
    EXPECT_EQ(settings.error(), 12);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseSettings,
    ::testing::Values(
        SettingsCase{"NoArguments", {}, false},
        SettingsCase{"Complete", {"--install-dir", "rel", "--log", R"(C:\l.txt)"}, true},
        SettingsCase{"InstallDirLastWord", {"--log", R"(C:\l.txt)", "--install-dir"}, false},
        SettingsCase{"LogMissing", {"--install-dir", R"(C:\a)"}, false},
        SettingsCase{"LogRelative", {"--install-dir", R"(C:\a)", "--log", "l.txt"}, false},
        SettingsCase{"LogDriveRelative", {"--install-dir", R"(C:\a)", "--log", "C:l.txt"}, false},
        SettingsCase{"TimeoutInvalid",
                     {"--install-dir", R"(C:\a)", "--log", R"(C:\l)", "--timeout-ms", "99"}, false},
        SettingsCase{"OptionNameIsCaseSensitive", {"--Install-Dir", R"(C:\a)", "--log", R"(C:\l)"},
                     false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParseSettings, TakesValuesOfFirstOccurrencesVerbatimWithDefaultTimeout) {
  const auto settings = parse_settings({"Haltgate.exe", "stray", "--install-dir", "--log",
                                        R"(C:\first.log)", "--install-dir", "other", "--log",
                                        R"(C:\second.log)"});
  ASSERT_TRUE(settings.has_value());
  EXPECT_EQ(settings->install_dir, "--log");  // a value is used even when it looks like an option
  EXPECT_EQ(settings->log_path, R"(C:\first.log)");
  EXPECT_EQ(settings->timeout, milliseconds(30000));
}

TEST(ParseSettings, ExplicitTimeout) {
  const auto settings = parse_settings(
      {"Haltgate.exe", "--timeout-ms", "+000250", "--log", R"(\\srv\s\l)", "--install-dir", "x"});
  ASSERT_TRUE(settings.has_value());
  EXPECT_EQ(settings->timeout, milliseconds(250));
  EXPECT_EQ(settings->install_dir, "x");
}

}  // namespace
}  // namespace vorlane::haltgate
