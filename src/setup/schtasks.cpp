#include "src/setup/schtasks.hpp"

#include <algorithm>

#include "src/common/text.hpp"
#include "src/setup/texts.hpp"

namespace vorlane::setup {
namespace {

// UTF-8 encodings of the Unicode white-space characters beyond ASCII.
constexpr std::string_view wide_blanks[] = {
    "\u0085", "\u00A0", "\u1680", "\u2000", "\u2001", "\u2002", "\u2003", "\u2004",
    "\u2005", "\u2006", "\u2007", "\u2008", "\u2009", "\u200A", "\u2028", "\u2029",
    "\u202F", "\u205F", "\u3000"};

bool is_ascii_blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Length of the white-space character at the front (or back) of `text`, 0 if none.
std::size_t blank_at_front(std::string_view text) {
  if (text.empty()) return 0;
  if (is_ascii_blank(text.front())) return 1;
  for (const auto blank : wide_blanks) {
    if (text.starts_with(blank)) return blank.size();
  }
  return 0;
}

std::size_t blank_at_back(std::string_view text) {
  if (text.empty()) return 0;
  if (is_ascii_blank(text.back())) return 1;
  for (const auto blank : wide_blanks) {
    if (text.ends_with(blank)) return blank.size();
  }
  return 0;
}

}  // namespace

std::string trim_white_space(std::string_view text) {
  while (const std::size_t n = blank_at_front(text)) text.remove_prefix(n);
  while (const std::size_t n = blank_at_back(text)) text.remove_suffix(n);
  return std::string(text);
}

SchtasksRun timed_out_run(std::chrono::seconds limit) {
  std::string text(schtasks_timed_out_head);
  text += std::to_string(limit.count());
  text += schtasks_timed_out_tail;
  return {.start_error = std::move(text)};
}

std::expected<void, std::string> schtasks_outcome(const std::vector<std::string>& args,
                                                  const SchtasksRun& run) {
  if (run.start_error) {
    return std::unexpected(std::string(schtasks_not_started) + *run.start_error);
  }
  if (run.exit_code == 0) {
    return {};
  }
  std::string said = trim_white_space(sanitize_utf8(run.err));
  if (said.empty()) {
    said = trim_white_space(sanitize_utf8(run.out));
  }
  std::string message = "schtasks";
  for (const auto& arg : args) {
    message += ' ';
    message += arg;
  }
  message += schtasks_failed;
  message += said;
  return std::unexpected(message);
}

bool task_may_exist(const SchtasksRun& query) { return query.start_error || query.exit_code == 0; }

bool drain_output(ChildOutput& pipe, std::string& bytes) {
  const auto available = pipe.available();
  if (!available) {
    return false;
  }
  std::size_t left = *available;
  char chunk[16384];
  while (left > 0) {
    const std::size_t asked = std::min(left, sizeof chunk);
    const auto got = pipe.read(std::span(chunk, asked));
    // Asking again after a read that brought nothing would spin for ever.
    if (!got || *got == 0) {
      return false;
    }
    const std::size_t taken = std::min<std::size_t>(*got, asked);
    bytes.append(chunk, taken);
    left -= taken;
  }
  return true;
}

std::string quote_argument(std::string_view arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string_view::npos) {
    return std::string(arg);
  }
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (const char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count double only where a quote follows them.
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, '\\');
  out.push_back('"');
  return out;
}

std::string command_line(std::string_view program, const std::vector<std::string>& args) {
  std::string line;
  line.reserve(program.size() + 2);
  line.push_back('"');
  line.append(program);
  line.push_back('"');
  for (const auto& arg : args) {
    line += ' ';
    line += quote_argument(arg);
  }
  return line;
}

}  // namespace vorlane::setup
