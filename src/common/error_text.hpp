#pragma once
// The three forms in which an operating-system error appears in user-facing texts.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vorlane {

// "<message without its trailing line break> (os error <code>)", or only "(os error <code>)"
// when the system has no message: file, folder, child-process and environment failures.
std::string system_error_text(std::string_view system_message, std::uint32_t code);

// "<message without trailing blanks and line breaks> (0x8007XXXX)", or only "(0x8007XXXX)"
// when the system has no message for the code: pipe and security failures of Keyward.
std::string windows_error_text(const std::optional<std::string>& system_message,
                               std::uint32_t code);

// "（Win32 <code>）" with full-width parentheses.
std::string win32_code_text(std::uint32_t code);

// The HRESULT a Win32 code is shown as: 0x80070000 (an error of the Win32 facility) plus its
// low 16 bits.
inline constexpr std::uint32_t hresult_win32_error_base = 0x80070000u;
std::uint32_t hresult_from_win32(std::uint32_t code);

}  // namespace vorlane
