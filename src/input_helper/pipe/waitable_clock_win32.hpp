#pragma once
// The serve side's clock on Windows. Sleep() rounds a 10 ms poll up to the timer tick (about
// 15.6 ms at the default 64 Hz); a high-resolution waitable timer sleeps as long as asked.
#include <windows.h>

#include "common/win32/unique_handle.hpp"
#include "input_helper/pipe/pipe_io.hpp"

namespace vorlane::win32 {

class WaitableTimerClock final : public Clock {
 public:
  // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, which the MinGW headers do not name yet.
  static constexpr DWORD high_resolution_flag = 0x00000002;

  // Creates the one timer all sleeps use. Windows before 10 1803 refuses the high-resolution
  // flag; then every sleep is a plain Sleep(). Other flags are for the benchmark's fallback run.
  explicit WaitableTimerClock(DWORD timer_flags = high_resolution_flag);
  std::chrono::steady_clock::time_point now() override;
  void sleep(std::chrono::milliseconds duration) override;
  bool high_resolution() const { return timer_.valid(); }

 private:
  unique_handle timer_;
};

}  // namespace vorlane::win32
