#pragma once
// Running the system's task scheduler tool and judging what it did.
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorlane::setup {

// What one run of schtasks gave: either it could not be started (the system error text), or
// it ended with an exit code and the raw bytes of its two output streams.
struct SchtasksRun {
  std::optional<std::string> start_error{};
  std::uint32_t exit_code = 0;
  std::string out{};
  std::string err{};
};

// Success, or "无法运行 schtasks：<system error>", or "schtasks <args unquoted> 失败：<output>"
// where the output is standard error, else standard output, made valid UTF-8 and trimmed.
std::expected<void, std::string> schtasks_outcome(const std::vector<std::string>& args,
                                                  const SchtasksRun& run);

// Only a run that started and ended with 0 says the task exists.
bool task_exists(const SchtasksRun& query);

// One argument quoted by the rules the C runtime splits a command line by: quoted when it is
// empty or holds a blank or a quote; backslashes doubled only before a quote.
std::string quote_argument(std::string_view arg);

// The program (always quoted) followed by the quoted arguments, separated by single spaces.
std::string command_line(std::string_view program, const std::vector<std::string>& args);

// Unicode white space removed from both ends of valid UTF-8 text.
std::string trim_white_space(std::string_view text);

}  // namespace vorlane::setup
