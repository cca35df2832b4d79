#pragma once
// Reading the user's setup record where the install put it.
#include <expected>
#include <string>

#include "src/setup/record.hpp"

namespace vorlane::setup {

// The record of `sid` from the records directory under the system's Program Files folder, or
// the reason it cannot be used.
[[nodiscard]] std::expected<HelperRecord, std::string> load_helper_record(const std::string& sid);

}  // namespace vorlane::setup
