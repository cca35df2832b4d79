#pragma once
// Text at the Windows interface: wchar_t is UTF-16 here.
#include <optional>
#include <string>
#include <string_view>

#include "src/common/text.hpp"

namespace vorlane::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

inline std::u16string_view as_u16(std::wstring_view text) {
  return {reinterpret_cast<const char16_t*>(text.data()), text.size()};
}
inline std::wstring to_wide(std::string_view utf8) {
  const std::u16string units = utf8_to_utf16(utf8);
  return {reinterpret_cast<const wchar_t*>(units.data()), units.size()};
}
inline std::string to_utf8(std::wstring_view text) { return utf16_to_utf8(as_u16(text)); }
[[nodiscard]] inline std::optional<std::string> to_utf8_strict(std::wstring_view text) {
  return utf16_to_utf8_strict(as_u16(text));
}

}  // namespace vorlane::win32
