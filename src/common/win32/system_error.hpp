#pragma once
// The system's own texts for Win32 error codes, in the forms of common/error_text.hpp.
#include <windows.h>

#include <optional>
#include <string>

namespace vorlane::win32 {

// The system message for `code` (default language, no inserts), or absent.
[[nodiscard]] std::optional<std::string> system_message(DWORD code);
// "<message> (os error <code>)".
std::string system_error_text(DWORD code);
// "<message> (0x8007XXXX)".
std::string windows_error_text(DWORD code);
// The same for GetLastError(), read first thing.
std::string last_system_error_text();
std::string last_windows_error_text();

}  // namespace vorlane::win32
