#pragma once
// The serve run wired to the real system.
#include <optional>
#include <string>

namespace vorlane::win32 {

std::string run_serve(bool test_mode, const std::optional<std::string>& pipe_override);

}  // namespace vorlane::win32
