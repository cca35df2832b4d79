#pragma once
// Monotonic time from the high-resolution performance counter.
#include <chrono>

#include "src/common/clock.hpp"

namespace vorlane::haltgate {

class PerformanceClockWin32 final : public Clock {
 public:
  time_point now() override;
  void sleep(std::chrono::milliseconds duration) override;
};

}  // namespace vorlane::haltgate
