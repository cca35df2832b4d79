#pragma once
// The install and uninstall runs wired to the real system.
#include <expected>
#include <optional>
#include <string>

namespace vorlane::entry {

// Success message or error text.
[[nodiscard]] std::expected<std::string, std::string> run_install(
    const std::string& gui_dir, const std::optional<std::string>& expected_sid);
[[nodiscard]] std::expected<std::string, std::string> run_uninstall();

}  // namespace vorlane::entry
