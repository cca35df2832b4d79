// The kit's reading of GoogleTest's results: what a test program's JSON and console text come
// to, one line per test, and the program itself when it ended badly.
#include <gtest/gtest.h>

#include "tests/kit/kit_results.hpp"

namespace vorlane::testing {
namespace {

// JSON as GoogleTest 1.12 writes it, cut to the members read.
const std::string results = R"({"testsuites": [
 {"name": "Walk", "testsuite": [
   {"name": "Passes", "status": "RUN", "result": "COMPLETED"},
   {"name": "Fails", "status": "RUN", "result": "COMPLETED",
    "failures": [{"failure": "a.cpp:3\nExpected: 1\n\tActual: 2", "type": ""}]},
   {"name": "Skips", "status": "RUN", "result": "SKIPPED"},
   {"name": "DISABLED_Off", "status": "NOTRUN", "result": "SUPPRESSED"},
   {"name": "Sees", "status": "RUN", "result": "COMPLETED", "observed": "vk=0xA3"}]},
 {"name": "Layouts/Deep", "testsuite": [
   {"name": "Held/0", "status": "RUN", "result": "SKIPPED"}]}]})";

const std::string console =
    "[ RUN      ] Walk.Skips\r\n"
    "the test's own output\r\n"
    "C:\\src\\walk.cpp:12: Skipped\r\n"
    "Wine 8.0: the 260-character limit is not applied\r\n"
    "\r\n"
    "[  SKIPPED ] Walk.Skips (3 ms)\r\n"
    "[ RUN      ] Layouts/Deep.Held/0\r\n"
    "[  SKIPPED ] Layouts/Deep.Held/0 (0 ms)\r\n";

TEST(KitResults, ReadsEveryTestWithItsVerdictAndReason) {
  const auto lines = program_results("walk_probe", results, console, 1, false);
  std::vector<std::string> report;
  for (const auto& line : lines) report.push_back(report_line(line));
  EXPECT_EQ(report, (std::vector<std::string>{
                        "walk_probe/Walk.Passes\tpassed\t",
                        "walk_probe/Walk.Fails\tfailed\ta.cpp:3 | Expected: 1 | Actual: 2",
                        "walk_probe/Walk.Skips\tskipped\tWine 8.0: the 260-character limit is not applied",
                        "walk_probe/Walk.Sees\tpassed\tobserved: vk=0xA3",
                        "walk_probe/Layouts/Deep.Held/0\tskipped\tskipped without a reason",
                    }));
  EXPECT_EQ(summary(count(lines)), "2 passed, 1 failed, 2 skipped");
}

struct EndCase {
  const char* name;
  std::optional<std::string> json;
  std::uint32_t exit_code;
  bool timed_out;
  const char* last_line;  // the line the program adds for itself, or "" for none
};
void PrintTo(const EndCase& c, std::ostream* os) { *os << c.name; }

class KitProgramEnd : public ::testing::TestWithParam<EndCase> {};

TEST_P(KitProgramEnd, AProgramThatEndedBadlyCountsAsAFailure) {
  const auto lines = program_results("p", GetParam().json, "", GetParam().exit_code, GetParam().timed_out);
  ASSERT_FALSE(lines.empty());
  if (*GetParam().last_line) {
    EXPECT_EQ(report_line(lines.back()), GetParam().last_line);
  } else {
    EXPECT_NE(lines.back().name, "p") << report_line(lines.back());
  }
}

const std::string one_pass = R"({"testsuites":[{"name":"S","testsuite":[{"name":"T","status":"RUN","result":"COMPLETED"}]}]})";
const std::string one_failure =
    R"({"testsuites":[{"name":"S","testsuite":[{"name":"T","status":"RUN","failures":[{"failure":"x"}]}]}]})";

INSTANTIATE_TEST_SUITE_P(
    Ends, KitProgramEnd,
    ::testing::Values(EndCase{"Clean", one_pass, 0, false, ""},
                      EndCase{"FailedTestExplainsTheCode", one_failure, 1, false, ""},
                      EndCase{"CrashedAfterItsTests", one_pass, 0xC0000005u, false,
                              "p\tfailed\tno test failed, yet it ended with exit code 3221225477"},
                      EndCase{"NoResults", std::nullopt, 3, false, "p\tfailed\twrote no results; exit code 3"},
                      EndCase{"BrokenResults", std::string("{\"testsuites\":"), 0, false,
                              "p\tfailed\twrote no results; exit code 0"},
                      EndCase{"TimedOut", std::nullopt, 1, true,
                              "p\tfailed\tdid not finish in time and was ended"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(KitResults, ListsTestNamesWithoutParameterComments) {
  EXPECT_EQ(listed_tests("Setup.\r\n  Installs\r\n  Uninstalls\r\nPaths/Spelled.\r\n  Admits/0  # GetParam() = x\r\n"),
            (std::vector<std::string>{"Setup.Installs", "Setup.Uninstalls", "Paths/Spelled.Admits/0"}));
}

}  // namespace
}  // namespace vorlane::testing
