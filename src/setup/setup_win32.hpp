#pragma once
// What the entry needs from the setup side, wired to the real system.
#include <expected>
#include <optional>
#include <string>

#include "src/setup/layout.hpp"
#include "src/setup/record.hpp"

namespace vorlane::setup::win32 {

// The record of `sid` from the records directory under the system's Program Files folder, or
// the reason it cannot be used.
std::expected<HelperRecord, std::string> load_helper_record(const std::string& sid);

// Success message or error text.
std::expected<std::string, std::string> run_install(const std::string& gui_dir,
                                                    const std::optional<std::string>& expected_sid);
std::expected<std::string, std::string> run_uninstall();

}  // namespace vorlane::setup::win32
