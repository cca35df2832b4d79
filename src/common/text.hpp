#pragma once
// UTF-8 inside, UTF-16 at the Windows interface.
#include <optional>
#include <string>
#include <string_view>

namespace vorlane {

// Appends one code point (at most U+10FFFF) as UTF-8.
void append_utf8(std::string& out, char32_t code_point);

// Invalid sequences (unpaired surrogates) become U+FFFD.
std::string utf16_to_utf8(std::u16string_view text);
// Exact conversion; absent when the input holds an unpaired surrogate.
[[nodiscard]] std::optional<std::string> utf16_to_utf8_strict(std::u16string_view text);
// Invalid UTF-8 bytes become U+FFFD.
std::u16string utf8_to_utf16(std::string_view text);
// Invalid bytes become U+FFFD.
std::string sanitize_utf8(std::string_view bytes);
[[nodiscard]] bool is_valid_utf8(std::string_view bytes);

// ASCII-only case folding: A-Z to a-z, every other byte unchanged.
std::string ascii_lower(std::string_view text);
bool ascii_iequals(std::string_view a, std::string_view b);

}  // namespace vorlane
