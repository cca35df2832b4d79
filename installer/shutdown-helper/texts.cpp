#include "installer/shutdown-helper/texts.hpp"

#include <array>
#include <cstdio>

#include "installer/shutdown-helper/constants.hpp"
#include "src/common/text.hpp"

namespace vorlane::haltgate {

std::string format_log_line(std::int64_t unix_ms, std::string_view text) {
  std::string line = std::to_string(unix_ms < 0 ? 0 : unix_ms);
  line.push_back(' ');
  // Every write is one line: a line break inside the text (a caller-supplied folder name, say)
  // would otherwise let the text pass for lines of its own.
  for (const char c : text) {
    if (c == '\n' || c == '\r') {
      line.append(line_break_replacement);
    } else {
      line.push_back(c);
    }
  }
  line.push_back('\n');
  return line;
}

std::string exit_event_name(std::uint32_t pid) {
  return std::string(exit_event_prefix) + std::to_string(pid);
}

std::string sha256_status_text(std::int32_t status) {
  std::array<char, 9> digits{};
  std::snprintf(digits.data(), digits.size(), "%08x", static_cast<std::uint32_t>(status));
  return std::string(msg_sha256_status) + digits.data();
}

std::string hex_digest(std::span<const std::uint8_t> bytes) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const std::uint8_t b : bytes) {
    text.push_back(digits[b >> 4]);
    text.push_back(digits[b & 0x0F]);
  }
  return text;
}

std::string unlock_error_text(std::string_view path, std::string_view system_error) {
  std::string text(path);
  text.append(msg_still_in_use);
  text.append(system_error);
  return text;
}

bool is_executable_name(std::string_view file_name) {
  const std::size_t dot = file_name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) {
    return false;
  }
  const std::string_view extension = file_name.substr(dot + 1);
  return ascii_iequals(extension, "exe") || ascii_iequals(extension, "dll") ||
         ascii_iequals(extension, "node");
}

bool is_name_surrogate(std::uint32_t reparse_tag) {
  return (reparse_tag & reparse_tag_name_surrogate) != 0;
}

}  // namespace vorlane::haltgate
