#include "installer/shutdown-helper/settings.hpp"

#include <limits>

#include "installer/shutdown-helper/constants.hpp"
#include "src/common/cmdline.hpp"
#include "src/common/text.hpp"

namespace vorlane::haltgate {
namespace {

bool is_separator(char c) { return c == '\\' || c == '/'; }
bool is_ascii_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Index just past the next separator at or after `from` (or the end).
std::size_t skip_component(std::string_view path, std::size_t from) {
  while (from < path.size() && !is_separator(path[from])) {
    ++from;
  }
  return from < path.size() ? from + 1 : from;
}

// Length of the part of an absolute path that names a volume and cannot be created.
std::size_t root_length(std::string_view path) {
  if (path.size() >= 3 && is_ascii_letter(path[0]) && path[1] == ':' && is_separator(path[2])) {
    return 3;
  }
  if (path.size() >= 2 && is_separator(path[0]) && is_separator(path[1])) {
    if (path.size() >= 4 && (path[2] == '?' || path[2] == '.') && is_separator(path[3])) {
      const std::string_view rest = path.substr(4);
      const bool unc =
          rest.size() >= 4 && ascii_iequals(rest.substr(0, 3), "UNC") && is_separator(rest[3]);
      return unc ? skip_component(path, skip_component(path, 8)) : skip_component(path, 4);
    }
    return skip_component(path, skip_component(path, 2));  // \\server\share\ .
  }
  return 0;
}

}  // namespace

std::optional<std::chrono::milliseconds> parse_timeout(std::string_view text) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
  }
  if (text.empty()) {
    return std::nullopt;
  }
  std::uint64_t value = 0;
  constexpr std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
  for (const char c : text) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (max - digit) / 10) {
      return std::nullopt;
    }
    value = value * 10 + digit;
  }
  if (value < static_cast<std::uint64_t>(min_timeout.count()) ||
      value > static_cast<std::uint64_t>(max_timeout.count())) {
    return std::nullopt;
  }
  return std::chrono::milliseconds(value);
}

bool is_absolute_path(std::string_view path) {
  if (path.size() >= 2 && is_separator(path[0]) && is_separator(path[1])) {
    return true;
  }
  return path.size() >= 3 && is_ascii_letter(path[0]) && path[1] == ':' && is_separator(path[2]);
}

std::vector<std::string> parent_directories(std::string_view path) {
  std::vector<std::string> dirs;
  std::size_t pos = root_length(path);
  for (;;) {
    const std::size_t end = path.find_first_of("\\/", pos);
    if (end == std::string_view::npos) {
      break;  // what remains is the file name
    }
    if (end > pos) {  // doubled separators make no folder
      dirs.emplace_back(path.substr(0, end));
    }
    pos = end + 1;
  }
  return dirs;
}

std::expected<Settings, int> parse_settings(const std::vector<std::string>& words) {
  Settings settings;
  const auto install_dir = option_value(words, option_install_dir);
  if (!install_dir) {
    return std::unexpected(exit_error);
  }
  settings.install_dir = *install_dir;

  const auto timeout =
      parse_timeout(option_value(words, option_timeout_ms).value_or(std::string(default_timeout_text)));
  if (!timeout) {
    return std::unexpected(exit_error);
  }
  settings.timeout = *timeout;

  const auto log_path = option_value(words, option_log);
  if (!log_path || !is_absolute_path(*log_path)) {
    return std::unexpected(exit_error);
  }
  settings.log_path = *log_path;
  return settings;
}

}  // namespace vorlane::haltgate
