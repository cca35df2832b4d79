#pragma once
// Small file jobs both programs do the same way.
#include <windows.h>

#include <expected>
#include <string>
#include <string_view>

namespace vorlane::win32 {

// Creates `folder` after its missing parents; an existing folder counts as success. Returns the
// system's code of the first failure, or ERROR_SUCCESS.
[[nodiscard]] DWORD create_directories(std::wstring folder);

// Writes all of `bytes` to an open file; a write that takes nothing is an error, not a retry.
// Failures carry the system error text.
[[nodiscard]] std::expected<void, std::string> write_all_to(HANDLE file, std::string_view bytes);

}  // namespace vorlane::win32
