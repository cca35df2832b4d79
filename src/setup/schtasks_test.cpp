#include <algorithm>

#include <gtest/gtest.h>

#include "src/setup/schtasks.hpp"

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
                    create_prefix + "错误：拒绝访问。"},
        OutcomeCase{"ended_at_the_limit", timed_out_run(schtasks_time_limit),
                    "无法运行 schtasks：schtasks 在 120 秒内没有结束"},
        OutcomeCase{"ended_at_a_short_limit", timed_out_run(std::chrono::seconds(1)),
                    "无法运行 schtasks：schtasks 在 1 秒内没有结束"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(SchtasksQuery, OnlyARunThatEndedWithAnotherCodeThanZeroMeansTheTaskIsAbsent) {
  EXPECT_TRUE(task_may_exist({.exit_code = 0}));
  EXPECT_FALSE(task_may_exist({.exit_code = 1}));
  EXPECT_FALSE(task_may_exist({.exit_code = 0x80070002u, .err = "ERROR: not found"}));
  EXPECT_TRUE(task_may_exist({.start_error = "File not found. (os error 2)"}));
  EXPECT_TRUE(task_may_exist(timed_out_run(schtasks_time_limit)));
}

// A pipe holding `pending`; each read gives at most `max_read` bytes, and `refill` is written
// again after every read, as by a child that never stops.
struct PipeScript {
  std::string pending{};
  std::size_t max_read = 5;
  std::string refill{};
  bool broken = false;
  bool read_fails = false;
  bool reads_nothing = false;
};

class FakeOutput final : public ChildOutput {
 public:
  explicit FakeOutput(PipeScript script) : script_(std::move(script)) {}
  int reads() const { return reads_; }

  std::optional<std::uint32_t> available() override {
    if (script_.broken) return std::nullopt;
    return static_cast<std::uint32_t>(script_.pending.size());
  }
  std::optional<std::uint32_t> read(std::span<char> buffer) override {
    ++reads_;
    if (script_.read_fails) return std::nullopt;
    if (script_.reads_nothing) return 0;
    std::string& pending = script_.pending;
    const std::size_t n = std::min({buffer.size(), script_.max_read, pending.size()});
    pending.copy(buffer.data(), n);
    pending.erase(0, n);
    pending += script_.refill;
    return static_cast<std::uint32_t>(n);
  }

 private:
  PipeScript script_;
  int reads_ = 0;
};

struct DrainCase {
  const char* label;
  PipeScript pipe;
  bool open;
  std::string taken;
  int reads;
};

void PrintTo(const DrainCase& c, std::ostream* os) { *os << c.label; }

class DrainOutput : public ::testing::TestWithParam<DrainCase> {};

TEST_P(DrainOutput, TakesOneLookAndStopsOnAClosedPipe) {
  FakeOutput pipe(GetParam().pipe);
  std::string bytes = "before|";
  EXPECT_EQ(drain_output(pipe, bytes), GetParam().open);
  EXPECT_EQ(bytes, "before|" + GetParam().taken);
  EXPECT_EQ(pipe.reads(), GetParam().reads);
}

INSTANTIATE_TEST_SUITE_P(
    Runner, DrainOutput,
    ::testing::Values(
        DrainCase{"empty_stays_open", {}, true, "", 0},
        DrainCase{"short_reads_collect_all", {.pending = "ERROR: denied\r\n"}, true,
                  "ERROR: denied\r\n", 3},
        DrainCase{"beyond_one_chunk",
                  {.pending = std::string(40000, 'x'), .max_read = 1 << 20}, true,
                  std::string(40000, 'x'), 3},
        DrainCase{"broken", {.pending = "lost", .broken = true}, false, "", 0},
        DrainCase{"failed_read", {.pending = "lost", .read_fails = true}, false, "", 1},
        DrainCase{"reported_bytes_never_come", {.pending = "stuck", .reads_nothing = true}, false,
                  "", 1},
        DrainCase{"endless_writer_waits_for_the_next_look",
                  {.pending = "12345678", .max_read = 8, .refill = "more"}, true, "12345678", 1}),
    [](const auto& info) { return std::string(info.param.label); });

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
