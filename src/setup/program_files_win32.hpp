#pragma once
// The system's Program Files folder.
#include <expected>
#include <string>

namespace vorlane::setup {

// Machine-wide, from the system's own settings: the environment of an elevated process comes
// from the user, whose unelevated programs can change it. Fails with the system error text.
[[nodiscard]] std::expected<std::string, std::string> program_files_folder();

}  // namespace vorlane::setup
