#pragma once
// The unlock proof over Windows: every executable file under the installation opened for
// exclusive reading and writing, links neither followed nor opened.
#include <expected>
#include <string>

#include "installer/shutdown-helper/preflight.hpp"

namespace vorlane::haltgate {

class UnlockCheckWin32 final : public UnlockCheck {
 public:
  [[nodiscard]] std::expected<void, std::string> verify_unlocked(const std::string& directory) override;
};

}  // namespace vorlane::haltgate
