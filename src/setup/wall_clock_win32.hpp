#pragma once
// The system's wall-clock time, as the record states it.
#include "src/setup/platform.hpp"

namespace vorlane::setup {

class WallClockWin32 final : public WallClock {
 public:
  std::uint64_t unix_seconds() override;
};

}  // namespace vorlane::setup
