#pragma once
// A clock for tests, fuzz targets and benchmarks: time moves only when it is slept on or
// advanced, and every sleep is recorded.
#include <algorithm>
#include <chrono>
#include <vector>

#include "src/common/clock.hpp"

namespace vorlane {

class ManualClock final : public Clock {
 public:
  time_point now() override { return now_; }
  void sleep(std::chrono::milliseconds duration) override {
    now_ += duration;
    slept += duration;
    sleeps.push_back(duration);
  }

  // Moves time without counting as a sleep, as when something else took that long.
  void advance(std::chrono::milliseconds duration) { now_ += duration; }
  // Moves time forward to `run_time` after the start; never backwards.
  void advance_to(std::chrono::milliseconds run_time) { now_ = std::max(now_, start_ + run_time); }
  // Time since the start, sleeps and advances alike.
  std::chrono::milliseconds elapsed() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(now_ - start_);
  }

  std::chrono::milliseconds slept{0};             // total of all sleeps
  std::vector<std::chrono::milliseconds> sleeps;  // each sleep, in order

 private:
  // An hour after the clock's epoch, so a zero time point (a default, an unset deadline) is
  // never a reading.
  const time_point start_ = time_point{} + std::chrono::hours(1);
  time_point now_ = start_;
};

}  // namespace vorlane
