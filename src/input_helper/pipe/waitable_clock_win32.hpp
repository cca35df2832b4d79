#pragma once
// The serve side's clock on Windows. Sleep() rounds a 10 ms poll up to the timer tick (about
// 15.6 ms at the default 64 Hz); a high-resolution waitable timer sleeps as long as asked.
#include <windows.h>

#include "src/common/win32/unique_handle.hpp"
#include "src/input_helper/pipe/pipe_io.hpp"

namespace vorlane::pipe {

class WaitableTimerClockWin32 final : public Clock {
 public:
  // One timer for all sleeps, high-resolution where the system offers it (Windows 10 1803 and
  // later). Without a timer (the flag refused, or an empty handle given) every sleep is Sleep().
  WaitableTimerClockWin32() : WaitableTimerClockWin32(create_high_resolution_timer()) {}
  explicit WaitableTimerClockWin32(win32::unique_handle timer) : timer_(std::move(timer)) {}

  // Empty when the system refuses CREATE_WAITABLE_TIMER_HIGH_RESOLUTION.
  static win32::unique_handle create_high_resolution_timer();

  time_point now() override;
  void sleep(std::chrono::milliseconds duration) override;
  bool has_timer() const { return timer_.valid(); }

 private:
  win32::unique_handle timer_;
};

}  // namespace vorlane::pipe
