#pragma once
// Reading the process's environment.
#include <optional>
#include <string>

namespace vorlane::win32 {

// The variable's value; absent when it is not set or cannot be read. A variable set to the
// empty string reads as an empty value, not as absent.
[[nodiscard]] std::optional<std::wstring> environment_variable(const wchar_t* name);

}  // namespace vorlane::win32
