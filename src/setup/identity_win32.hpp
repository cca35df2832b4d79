#pragma once
// The user and process this run is.
#include "src/setup/platform.hpp"

namespace vorlane::setup {

class UserIdentityWin32 final : public UserIdentity {
 public:
  std::optional<std::string> current_user_sid() override;
  std::uint32_t process_id() override;
};

}  // namespace vorlane::setup
