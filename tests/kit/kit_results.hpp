#pragma once
// What one test program of the kit came to, read from GoogleTest's JSON results and its console
// text (the JSON names a skipped test but not why; the console text holds the reason).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorlane::testing {

enum class Verdict { passed, failed, skipped };

struct TestLine {
  std::string name;  // "<program>/<Suite.Test>", or the program alone for the program as a whole
  Verdict verdict = Verdict::passed;
  std::string reason;  // one line; empty for a pass
};

std::string_view verdict_text(Verdict verdict);

// The test names `--gtest_list_tests` printed ("Suite." lines, then indented names, each maybe
// followed by a "# GetParam() = ..." comment).
std::vector<std::string> listed_tests(std::string_view listing);

// The skip reasons GoogleTest printed between "[ RUN      ] X" and "[  SKIPPED ] X", by test.
std::vector<std::pair<std::string, std::string>> skip_reasons(std::string_view console);

// Every test of one run. `json` is the content of --gtest_output=json (absent when the program
// wrote none); a program that ended with a non-zero code while no test failed, or that wrote
// no results, adds a failed line for itself that names its exit code.
std::vector<TestLine> program_results(std::string_view program, const std::optional<std::string>& json,
                                      std::string_view console, std::uint32_t exit_code,
                                      bool timed_out);

// One report line: name, result and reason separated by tabs, the reason on one line.
std::string report_line(const TestLine& line);

struct Counts {
  int passed = 0, failed = 0, skipped = 0;
};
Counts count(const std::vector<TestLine>& lines);
// "N passed, M failed, K skipped"
std::string summary(const Counts& counts);

}  // namespace vorlane::testing
