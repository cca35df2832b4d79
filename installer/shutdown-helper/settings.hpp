#pragma once
// Haltgate's command line: option values, the timeout grammar and the absolute-path rule.
#include <chrono>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorlane::haltgate {

struct Settings {
  std::string install_dir;  // used unchanged; tested for being absolute only once the log is open
  std::chrono::milliseconds timeout{};
  std::string log_path;
};

// Settings from the command-line words (program path first), or the exit code of the usage
// error. A missing installation directory wins over an invalid timeout, which wins over a
// missing or relative log path.
[[nodiscard]] std::expected<Settings, int> parse_settings(const std::vector<std::string>& words);

// Digits with an optional single leading "+", leading zeros allowed, within 100..120000.
[[nodiscard]] std::optional<std::chrono::milliseconds> parse_timeout(std::string_view text);

// Two leading separators (UNC, device and verbatim forms), or a drive letter, colon, separator.
bool is_absolute_path(std::string_view path);

// The folders above the file at `path` that may need creating, outermost first; the root
// (drive, UNC share, device or verbatim prefix) is never among them.
std::vector<std::string> parent_directories(std::string_view path);

}  // namespace vorlane::haltgate
