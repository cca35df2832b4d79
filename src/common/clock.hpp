#pragma once
// A monotonic clock and sleeping behind one interface, so waits against deadlines can run over a
// clock that moves only when told to.
#include <chrono>

namespace vorlane {

class Clock {
 public:
  using time_point = std::chrono::steady_clock::time_point;
  virtual ~Clock() = default;
  virtual time_point now() = 0;  // monotonic
  virtual void sleep(std::chrono::milliseconds duration) = 0;
};

// The real thing, shared by the Windows build, the benchmarks and the tools.
class SteadyClock final : public Clock {
 public:
  time_point now() override;
  void sleep(std::chrono::milliseconds duration) override;
};

}  // namespace vorlane
