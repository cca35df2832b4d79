#pragma once
// Running the system's task scheduler tool and judging what it did.
#include <chrono>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vorlane::setup {

// What one run of schtasks gave: either it could not be started (the system error text), or
// it ended with an exit code and the raw bytes of its two output streams.
struct [[nodiscard]] SchtasksRun {
  std::optional<std::string> start_error{};
  std::uint32_t exit_code = 0;
  std::string out{};
  std::string err{};
};

// Longer than any real run takes; a schtasks still running then is ended and counts as not run,
// so an install or uninstall cannot hang on it.
inline constexpr std::chrono::seconds schtasks_time_limit{120};

// The run of a schtasks that was ended at `limit`: a start error that names the limit.
SchtasksRun timed_out_run(std::chrono::seconds limit);

// Success, or "无法运行 schtasks：<system error>", or "schtasks <args unquoted> 失败：<output>"
// where the output is standard error, else standard output, made valid UTF-8 and trimmed.
[[nodiscard]] std::expected<void, std::string> schtasks_outcome(const std::vector<std::string>& args,
                                                                const SchtasksRun& run);

// Only a query that ran to its end with a code other than 0 says the task is absent; one that
// could not start or was ended at the limit said nothing, so the task may still be there.
[[nodiscard]] bool task_may_exist(const SchtasksRun& query);

// One argument quoted by the rules the C runtime splits a command line by: quoted when it is
// empty or holds a blank or a quote; backslashes doubled only before a quote.
std::string quote_argument(std::string_view arg);

// The program (always quoted) followed by the quoted arguments, separated by single spaces.
std::string command_line(std::string_view program, const std::vector<std::string>& args);

// One output pipe of a running child, as the loop that empties it sees it.
class ChildOutput {
 public:
  virtual ~ChildOutput() = default;
  // The bytes waiting now, or absent once the pipe is broken.
  [[nodiscard]] virtual std::optional<std::uint32_t> available() = 0;
  // Reads at most `buffer.size()` bytes: how many arrived, or absent when the read failed.
  [[nodiscard]] virtual std::optional<std::uint32_t> read(std::span<char> buffer) = 0;
};

// Moves the bytes the pipe reports at this look into `bytes`; what arrives meanwhile waits for
// the next look, so a child that never stops writing cannot hold the caller here. False once
// the pipe is closed: broken, a failed read, or a read that brought nothing although bytes
// were reported.
[[nodiscard]] bool drain_output(ChildOutput& pipe, std::string& bytes);

// Unicode white space removed from both ends of valid UTF-8 text.
std::string trim_white_space(std::string_view text);

}  // namespace vorlane::setup
