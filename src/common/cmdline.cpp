#include "src/common/cmdline.hpp"

#include <algorithm>

#include "src/common/text.hpp"

namespace vorlane {
namespace {
bool is_blank(char16_t c) { return c == u' ' || c == u'\t'; }
}  // namespace

std::vector<std::u16string> split_command_line(std::u16string_view line) {
  std::vector<std::u16string> words;
  size_t pos = 0;

  std::u16string program;
  bool quoted = false;
  while (pos < line.size() && (quoted || !is_blank(line[pos]))) {
    if (line[pos] == u'"') {
      quoted = !quoted;
    } else {
      program.push_back(line[pos]);
    }
    ++pos;
  }
  words.push_back(std::move(program));

  for (;;) {
    while (pos < line.size() && is_blank(line[pos])) {
      ++pos;
    }
    if (pos >= line.size()) {
      break;
    }
    std::u16string word;
    quoted = false;
    while (pos < line.size()) {
      size_t backslashes = 0;
      while (pos < line.size() && line[pos] == u'\\') {
        ++backslashes;
        ++pos;
      }
      if (pos < line.size() && line[pos] == u'"') {
        word.append(backslashes / 2, u'\\');
        if (backslashes % 2 == 1) {
          word.push_back(u'"');
          ++pos;
        } else if (quoted && pos + 1 < line.size() && line[pos + 1] == u'"') {
          word.push_back(u'"');
          pos += 2;
        } else {
          quoted = !quoted;
          ++pos;
        }
        continue;
      }
      word.append(backslashes, u'\\');
      if (pos >= line.size() || (!quoted && is_blank(line[pos]))) {
        break;
      }
      word.push_back(line[pos]);
      ++pos;
    }
    words.push_back(std::move(word));
  }
  return words;
}

std::vector<std::string> split_command_line_utf8(std::u16string_view command_line) {
  std::vector<std::string> words;
  for (const auto& word : split_command_line(command_line)) {
    words.push_back(utf16_to_utf8(word));
  }
  return words;
}

std::optional<std::string> option_value(const std::vector<std::string>& words,
                                        std::string_view name) {
  const auto it = std::find(words.begin(), words.end(), name);
  if (it == words.end() || std::next(it) == words.end()) {
    return std::nullopt;
  }
  return *std::next(it);
}

}  // namespace vorlane
