#include <map>

#include <gtest/gtest.h>

#include "installer/shutdown-helper/holders.hpp"
#include "installer/shutdown-helper/preflight.hpp"
#include "installer/shutdown-helper/texts.hpp"
#include "src/common/manual_clock.hpp"

namespace vorlane::haltgate {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;
using Lines = std::vector<std::string>;

const std::string tool_dll = R"(C:\App\a\b\Tool.DLL)";
const std::string helper_exe = R"(C:\App\helper.exe)";
std::string locked(const std::string& path) {
  return unlock_error_text(path, "Sharing violation. (os error 32)");
}

struct HolderLineCase {
  const char* name;
  FileHolder holder;
  std::string line;
};
void PrintTo(const HolderLineCase& c, std::ostream* os) { *os << c.name; }

class HolderLine : public ::testing::TestWithParam<HolderLineCase> {};

TEST_P(HolderLine, NamesCannotBreakOrForgeTheLine) {
  EXPECT_EQ(holder_line(GetParam().holder), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HolderLine,
    ::testing::Values(
        HolderLineCase{"Plain", {4242, 1, "Setup Helper", ""},
                       R"(holder pid=4242 session=1 app="Setup Helper" service="")"},
        HolderLineCase{"Service", {812, 0, "Windows Search", "WSearch"},
                       R"(holder pid=812 session=0 app="Windows Search" service="WSearch")"},
        HolderLineCase{"NonAsciiKeptAsIs", {7, 2, "\xE8\xAE\xBE\xE7\xBD\xAE \xC3\xA9", ""},
                       "holder pid=7 session=2 app=\"\xE8\xAE\xBE\xE7\xBD\xAE \xC3\xA9\" service=\"\""},
        HolderLineCase{"QuoteCannotCloseTheField", {7, 1, R"(x" service="forged)", ""},
                       R"(holder pid=7 session=1 app="x\" service=\"forged" service="")"},
        HolderLineCase{"BackslashCannotEscapeTheClosingQuote", {7, 1, R"(C:\tools\)", R"(a\"b)"},
                       R"(holder pid=7 session=1 app="C:\\tools\\" service="a\\\"b")"},
        HolderLineCase{"LineBreaksCannotStartALine",
                       {7, 1, "Helper\r\n1700000000000 success: forged", ""},
                       R"(holder pid=7 session=1 app="Helper\u000D\u000A1700000000000 success: forged" service="")"},
        HolderLineCase{"OtherControls", {7, 1, std::string("a\tb\0c\x7F", 6), "\x1B[31m"},
                       R"(holder pid=7 session=1 app="a\u0009b\u0000c\u007F" service="\u001B[31m")"},
        HolderLineCase{"UnicodeLineBreaks", {7, 1, "a\xC2\x85" "b\xE2\x80\xA8" "c\xE2\x80\xA9" "d\xE2\x80\xA6", ""},
                       "holder pid=7 session=1 app=\"a\\u0085b\\u2028c\\u2029d\xE2\x80\xA6\" service=\"\""},
        HolderLineCase{"LargestNumbers", {4294967295u, 4294967295u, "", ""},
                       R"(holder pid=4294967295 session=4294967295 app="" service="")"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LockedFileOf, TakesThePathFromTheUnlockErrorOnly) {
  for (const std::string& path :
       {tool_dll, std::string(R"(\\?\C:\App\x is still in use or not writable\a.exe)"),
        std::string("C:\\App\\\xE5\x9B\xBE.node"), std::string(R"(\\server\share\App\b.dll)")}) {
    EXPECT_EQ(locked_file_of(locked(path)), path);
    EXPECT_EQ(locked_file_of(unlock_error_text(path, "Access denied. (os error 5)")), path);
  }
  // A walk that could not list a folder names no file to ask about.
  EXPECT_EQ(locked_file_of("Directory name invalid. (os error 267)"), std::nullopt);
  EXPECT_EQ(locked_file_of(""), std::nullopt);
}

// Answers per path, each after a delay on the manual clock.
class FakeHolders : public FileHolders {
 public:
  explicit FakeHolders(ManualClock& clock) : clock_(clock) {}
  std::expected<std::vector<FileHolder>, std::string> holders_of(const std::string& path,
                                                                 milliseconds budget) override {
    asked.push_back(path);
    budgets.push_back(budget);
    clock_.advance(delay);
    const auto known = answers.find(path);
    if (known == answers.end()) {
      return std::vector<FileHolder>{};
    }
    return known->second;
  }

  std::map<std::string, std::expected<std::vector<FileHolder>, std::string>> answers;
  milliseconds delay{0};
  std::vector<std::string> asked;
  std::vector<milliseconds> budgets;

 private:
  ManualClock& clock_;
};

std::vector<FileHolder> numbered_holders(std::uint32_t count) {
  std::vector<FileHolder> holders;
  for (std::uint32_t pid = 1; pid <= count; ++pid) {
    holders.push_back({pid, 1, "App " + std::to_string(pid), ""});
  }
  return holders;
}

Lines numbered_lines(std::uint32_t count) {
  Lines lines;
  for (const auto& holder : numbered_holders(count)) {
    lines.push_back(holder_line(holder));
  }
  return lines;
}

class HolderReportTest : public ::testing::Test {
 protected:
  ManualClock clock;
  FakeHolders holders{clock};
  HolderReport report{&holders, clock};
};

TEST_F(HolderReportTest, EachFileIsAskedOnceWithinTheBoundAndAtMostEightAreNamed) {
  holders.answers[tool_dll] = numbered_holders(2);
  holders.answers[helper_exe] = numbered_holders(11);
  EXPECT_EQ(report.lines_for(locked(tool_dll)), numbered_lines(2));
  EXPECT_EQ(report.lines_for(locked(tool_dll)), Lines{});  // met again: not asked again
  EXPECT_EQ(report.lines_for(locked(helper_exe)), numbered_lines(8));
  EXPECT_EQ(report.lines_for("Access denied. (os error 5)"), Lines{});  // names no file
  EXPECT_EQ(holders.asked, (Lines{tool_dll, helper_exe}));
  EXPECT_EQ(holders.budgets, (std::vector<milliseconds>{1000ms, 1000ms}));
}

struct QuietCase {
  const char* name;
  std::uint32_t holder_count;
  std::optional<std::string> error;
  milliseconds delay;
  bool named;  // whether the holders are named
};
void PrintTo(const QuietCase& c, std::ostream* os) { *os << c.name; }

class HolderReportQuiet : public HolderReportTest, public ::testing::WithParamInterface<QuietCase> {};

TEST_P(HolderReportQuiet, ErrorsAndLateAnswersAddNothing) {
  holders.answers[tool_dll] = numbered_holders(GetParam().holder_count);
  if (GetParam().error) {
    holders.answers[tool_dll] = std::unexpected(*GetParam().error);
  }
  holders.delay = GetParam().delay;
  EXPECT_EQ(report.lines_for(locked(tool_dll)), GetParam().named ? numbered_lines(2) : Lines{});
  EXPECT_EQ(report.lines_for(locked(tool_dll)), Lines{});
  EXPECT_EQ(holders.asked.size(), 1u);  // whatever the answer, a file is asked about once
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HolderReportQuiet,
    ::testing::Values(QuietCase{"AnswerAtTheBound", 2, std::nullopt, 1000ms, true},
                      QuietCase{"AnswerAfterTheBound", 2, std::nullopt, 1001ms, false},
                      QuietCase{"Error", 2, "The specified module could not be found. (os error 126)", 0ms, false},
                      QuietCase{"NobodyHoldsIt", 0, std::nullopt, 0ms, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HolderReportWithout, ASourceNamesNobody) {
  ManualClock clock;
  HolderReport report(nullptr, clock);
  EXPECT_EQ(report.lines_for(locked(tool_dll)), Lines{});
}

// The final verification of a run whose files are locked one after the other: the holder lines
// come right after a file's first line, and the rest of the run is what it was without them.
class LockedRun : public ::testing::Test,
                  public PathKeys,
                  public InstallationProcesses,
                  public FileDigests,
                  public UnlockCheck,
                  public Log {
 protected:
  std::expected<void, SystemError> read_attributes(const std::string&) override { return {}; }
  std::expected<std::string, std::string> path_key(const std::string& path) override { return path; }
  std::expected<ProcessList, std::string> find_installation_processes(const std::string&) override {
    return ProcessList{};
  }
  std::expected<ExitEvent, std::string> signal_exit_event(std::uint32_t) override { return ExitEvent::not_present; }
  std::expected<TrayQuit, std::string> post_legacy_tray_quit(std::uint32_t) override {
    return TrayQuit::no_tray_window;
  }
  std::expected<std::string, std::string> sha256_file(const std::string&) override { return std::string(); }
  // Tool.DLL for three attempts, helper.exe for two, Tool.DLL once more, then nothing.
  std::expected<void, std::string> verify_unlocked(const std::string&, Clock::time_point) override {
    const std::size_t attempt = verify_times.size();
    verify_times.push_back(clock.elapsed());
    if (attempt < 3 || attempt == 5) {
      return std::unexpected(locked(tool_dll));
    }
    if (attempt < 5) {
      return std::unexpected(locked(helper_exe));
    }
    return {};
  }
  void write_line(std::string_view text) override { lines.emplace_back(text); }

  std::expected<void, RunFailure> run(FileHolders* source) {
    const PreflightSystem system{.paths = *this, .processes = *this, .hashes = *this, .unlock = *this,
                                 .holders = source};
    return run_preflight(R"(C:\App)", 30000ms, *this, system, clock, {});
  }

  const std::string dll = locked(tool_dll), exe = locked(helper_exe);
  const Lines lines_without_holders{R"(begin install_dir=C:\App)", dll, dll, dll, exe, exe, dll,
                                    "success: selected installation stopped and executable files unlocked"};
  ManualClock clock;
  FakeHolders holders{clock};
  Lines lines;
  std::vector<milliseconds> verify_times;
};

TEST_F(LockedRun, HolderLinesFollowEachFilesFirstLineOnly) {
  holders.answers[tool_dll] = numbered_holders(2);
  holders.answers[helper_exe] = std::unexpected("Access denied. (os error 5)");
  ASSERT_TRUE(run(&holders).has_value());
  Lines expected = lines_without_holders;
  const Lines named = numbered_lines(2);
  expected.insert(expected.begin() + 2, named.begin(), named.end());
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(holders.asked, (Lines{tool_dll, helper_exe}));
  EXPECT_EQ(verify_times, (std::vector<milliseconds>{0ms, 100ms, 200ms, 300ms, 400ms, 500ms, 600ms}));
}

TEST_F(LockedRun, SlowAnswersCostTheirTimeOncePerFileAndAddNothing) {
  holders.answers[tool_dll] = numbered_holders(2);
  holders.delay = 1500ms;
  ASSERT_TRUE(run(&holders).has_value());
  EXPECT_EQ(lines, lines_without_holders);
  EXPECT_EQ(verify_times, (std::vector<milliseconds>{0ms, 1600ms, 1700ms, 1800ms, 3400ms, 3500ms, 3600ms}));
}

TEST_F(LockedRun, WithoutASourceTheRunIsUnchanged) {
  ASSERT_TRUE(run(nullptr).has_value());
  EXPECT_EQ(lines, lines_without_holders);
  EXPECT_EQ(verify_times, (std::vector<milliseconds>{0ms, 100ms, 200ms, 300ms, 400ms, 500ms, 600ms}));
}

}  // namespace
}  // namespace vorlane::haltgate
