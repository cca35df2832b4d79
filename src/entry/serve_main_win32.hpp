#pragma once
// The serve run wired to the real system.
#include <optional>
#include <string>

namespace vorlane::entry {

// Returns only on a fatal condition, with the user-facing text.
[[nodiscard]] std::string run_serve(bool test_mode, const std::optional<std::string>& pipe_override);

}  // namespace vorlane::entry
