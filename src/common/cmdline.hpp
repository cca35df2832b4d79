#pragma once
// Command-line words, split the way the Windows C runtime splits them, and option lookup.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorlane {

// The first word (the program path) ends at the first blank outside double quotes, and quotes
// in it only toggle quoting. Later words follow the backslash and quote rules of the runtime;
// inside quotes, "" gives one literal quote and quoting goes on.
std::vector<std::u16string> split_command_line(std::u16string_view command_line);

// The same words as UTF-8 text (unpaired surrogates become U+FFFD).
std::vector<std::string> split_command_line_utf8(std::u16string_view command_line);

// The word after the first word equal to `name` (the program path included in the scan);
// absent when there is no such word or it is the last one. Later occurrences never count.
[[nodiscard]] std::optional<std::string> option_value(const std::vector<std::string>& words,
                                                      std::string_view name);

}  // namespace vorlane
