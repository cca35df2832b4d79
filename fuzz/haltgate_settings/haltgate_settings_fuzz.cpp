// Any list of command-line words, mostly built from Haltgate's own options, and any timeout text.
//
// Oracle:
// - parse_settings gives settings or the usage exit code, never another code or a crash;
//   settings hold a timeout within 100..120000 ms, an absolute log path, and values that are
//   words of the list;
// - parse_timeout accepts exactly an optional "+" and decimal digits whose value lies within
//   100..120000, and yields that value (judged here from the digits as text, so no overflow
//   can hide a large number).
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "installer/shutdown-helper/constants.hpp"
#include "installer/shutdown-helper/settings.hpp"

namespace {

using namespace vorlane::haltgate;

[[noreturn]] void disagree(const char* what) {
  std::fprintf(stderr, "haltgate settings oracle: %s\n", what);
  std::abort();
}

// The value of "+"digits, when it is one and lies within the range.
std::optional<std::uint64_t> expected_timeout(std::string_view text) {
  if (text.starts_with('+')) text.remove_prefix(1);
  if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  text.remove_prefix(std::min(text.find_first_not_of('0'), text.size()));
  if (text.size() > 6) return std::nullopt;
  const std::uint64_t value = text.empty() ? 0 : std::stoull(std::string(text));
  if (value < static_cast<std::uint64_t>(min_timeout.count()) || value > static_cast<std::uint64_t>(max_timeout.count())) {
    return std::nullopt;
  }
  return value;
}

void check_timeout(std::string_view text) {
  const auto parsed = parse_timeout(text);
  const auto expected = expected_timeout(text);
  if (parsed.has_value() != expected.has_value()) disagree("a timeout text judged otherwise");
  if (parsed && static_cast<std::uint64_t>(parsed->count()) != *expected) disagree("a timeout read as another value");
}

std::string any_word(FuzzedDataProvider& input) {
  static constexpr std::string_view options[] = {option_install_dir, option_timeout_ms, option_log};
  static constexpr std::string_view values[] = {"C:\\Vorlane", "\\\\server\\share\\log.txt", "D:/log", "log.txt",
                                                "+00100", "120000", "120001", "99", "30000"};
  switch (input.ConsumeIntegralInRange(0, 3)) {
    case 0: return std::string(input.PickValueInArray(options));
    case 1: return std::string(input.PickValueInArray(values));
    default: return input.ConsumeRandomLengthString(64);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  check_timeout(input.ConsumeRandomLengthString(40));

  std::vector<std::string> words{"Haltgate.exe"};
  for (std::size_t n = input.ConsumeIntegralInRange<std::size_t>(0, 12); n > 0 && input.remaining_bytes() > 0; --n) {
    words.push_back(any_word(input));
  }
  for (const auto& word : words) check_timeout(word);
  const auto settings = parse_settings(words);
  if (!settings) {
    if (settings.error() != exit_error) disagree("a refused command line gives another exit code");
    return 0;
  }
  if (settings->timeout < min_timeout || settings->timeout > max_timeout) {
    disagree("an accepted timeout outside 100..120000");
  }
  const std::string_view log = settings->log_path;
  const auto separator = [](char c) { return c == '\\' || c == '/'; };
  const bool absolute = (log.size() >= 2 && separator(log[0]) && separator(log[1])) ||
                        (log.size() >= 3 && std::isalpha(static_cast<unsigned char>(log[0])) &&
                         log[1] == ':' && separator(log[2]));
  if (!absolute) disagree("an accepted log path that is not absolute");
  const auto is_word = [&](const std::string& value) { return std::find(words.begin(), words.end(), value) != words.end(); };
  if (!is_word(settings->install_dir) || !is_word(settings->log_path)) disagree("a value that is no word of the list");
  return 0;
}
