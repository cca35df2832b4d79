#include "setup/schtasks.hpp"

#include <gtest/gtest.h>

namespace vorlane::setup {
namespace {

const std::vector<std::string> create_args{
    "/Create", "/TN", "Keyward (S-1-5-21-0-0-0-1000)", "/XML", "C:\\users\\me\\Temp\\keyward-7.xml",
    "/F"};
const std::string create_prefix =
    "schtasks /Create /TN Keyward (S-1-5-21-0-0-0-1000) /XML C:\\users\\me\\Temp\\keyward-7.xml /F "
    "失败：";

struct OutcomeCase {
  const char* label;
  SchtasksRun run;
  std::optional<std::string> error;  // absent: success
};

void PrintTo(const OutcomeCase& c, std::ostream* os) { *os << c.label; }

class SchtasksOutcome : public ::testing::TestWithParam<OutcomeCase> {};

TEST_P(SchtasksOutcome, JudgesTheRun) {
  const auto outcome = schtasks_outcome(create_args, GetParam().run);
  if (GetParam().error) {
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error(), *GetParam().error);
  } else {
    EXPECT_TRUE(outcome) << outcome.error();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Runner, SchtasksOutcome,
    ::testing::Values(
        OutcomeCase{"success_discards_output", {.exit_code = 0, .out = "x", .err = "warning"}, {}},
        OutcomeCase{"not_started",
                    {.start_error = "File not found. (os error 2)"},
                    "无法运行 schtasks：File not found. (os error 2)"},
        OutcomeCase{"stderr_preferred",
                    {.exit_code = 1, .out = "SUCCESS?", .err = "ERROR: Access is denied.\r\n"},
                    create_prefix + "ERROR: Access is denied."},
        OutcomeCase{"stdout_when_stderr_blank",
                    {.exit_code = 1, .out = "\r\n  ERROR: bad XML  \r\n", .err = " \r\n\t"},
                    create_prefix + "ERROR: bad XML"},
        OutcomeCase{"empty_tail", {.exit_code = 1}, create_prefix},
        OutcomeCase{"any_nonzero_code", {.exit_code = 0x80070005u, .err = "denied"},
                    create_prefix + "denied"},
        OutcomeCase{"invalid_utf8_replaced",
                    {.exit_code = 1, .err = "\xb4\xed\xce\xf3: x"},
                    create_prefix + "\uFFFD\uFFFD\uFFFD\uFFFD: x"},
        OutcomeCase{"unicode_blanks_trimmed",
                    {.exit_code = 1, .err = "\u3000错误：拒绝访问。\u00A0\n"},
                    create_prefix + "错误：拒绝访问。"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(SchtasksQuery, OnlyAStartedRunWithExitZeroMeansTheTaskExists) {
  EXPECT_TRUE(task_exists({.exit_code = 0}));
  EXPECT_FALSE(task_exists({.exit_code = 1}));
  EXPECT_FALSE(task_exists({.start_error = "File not found. (os error 2)"}));
}

struct QuoteCase {
  const char* in;
  const char* out;
};

void PrintTo(const QuoteCase& c, std::ostream* os) { *os << c.in; }

class QuoteArgument : public ::testing::TestWithParam<QuoteCase> {};

TEST_P(QuoteArgument, FollowsTheRuntimeSplittingRules) {
  EXPECT_EQ(quote_argument(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Runner, QuoteArgument,
    ::testing::Values(QuoteCase{"/Create", "/Create"},
                      QuoteCase{"Keyward (S-1-5-21-0-0-0-1000)", "\"Keyward (S-1-5-21-0-0-0-1000)\""},
                      QuoteCase{"C:\\Program Files\\x.xml", "\"C:\\Program Files\\x.xml\""},
                      QuoteCase{"a\tb", "\"a\tb\""}, QuoteCase{"", "\"\""},
                      QuoteCase{"C:\\dir with space\\", "\"C:\\dir with space\\\\\""},
                      QuoteCase{"say \"hi\"", "\"say \\\"hi\\\"\""},
                      QuoteCase{"a\\\\\"b", "\"a\\\\\\\\\\\"b\""},
                      QuoteCase{"C:\\no\\space\\", "C:\\no\\space\\"}));

TEST(SchtasksCommandLine, QuotesTheProgramAndEachArgument) {
  EXPECT_EQ(command_line("C:\\windows\\system32\\schtasks.exe", {"/Run", "/TN", "Keyward (S-1)"}),
            "\"C:\\windows\\system32\\schtasks.exe\" /Run /TN \"Keyward (S-1)\"");
}

}  // namespace
}  // namespace vorlane::setup
