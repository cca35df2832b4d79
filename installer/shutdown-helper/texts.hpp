#pragma once
// Small formats Haltgate shares between its core and its system adapters.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vorlane::haltgate {

// "<ms since 1970> <text>\n"; a clock before 1970 reads as 0. A carriage return or line feed
// inside the text is written as U+FFFD, so one call always makes exactly one line.
std::string format_log_line(std::int64_t unix_ms, std::string_view text);

// "Local\Vorlane.InstallerExit.v1.<pid>".
std::string exit_event_name(std::uint32_t pid);

// "SHA256 status 0x" and the status as 8 lower-case hexadecimal digits.
std::string sha256_status_text(std::int32_t status);

// Lower-case hexadecimal, two digits per byte in byte order.
std::string hex_digest(std::span<const std::uint8_t> bytes);

// "<path> is still in use or not writable: <system error text>".
std::string unlock_error_text(std::string_view path, std::string_view system_error);

// A name whose extension (after the last ".", when a "." other than the first character
// exists) is exe, dll or node, in any ASCII letter case.
bool is_executable_name(std::string_view file_name);

// A reparse tag of a symbolic link or junction, which the unlock walk neither follows nor opens:
// one with the name-surrogate bit set.
inline constexpr std::uint32_t reparse_tag_name_surrogate = 0x20000000u;
bool is_name_surrogate(std::uint32_t reparse_tag);

}  // namespace vorlane::haltgate
