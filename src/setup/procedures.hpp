#pragma once
// Enabling and disabling administrator control for the user of the running process.
#include <expected>
#include <optional>
#include <string>

#include "src/setup/platform.hpp"

namespace vorlane::setup {

// Success message or the error text of the first failing step.
[[nodiscard]] std::expected<std::string, std::string> install(
    const SetupSystem& system, const std::string& gui_dir,
    const std::optional<std::string>& expected_sid);

[[nodiscard]] std::expected<std::string, std::string> uninstall(const SetupSystem& system);

// The key two program paths are compared by to find an install started from its own copy:
// "/" as "\", ASCII letters lower-cased, nothing trimmed.
std::string own_path_key(std::string_view path);

}  // namespace vorlane::setup
