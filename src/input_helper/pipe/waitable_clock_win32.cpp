#include "src/input_helper/pipe/waitable_clock_win32.hpp"

namespace vorlane::pipe {
namespace {

// Not named by the MinGW-w64 headers yet.
constexpr DWORD create_waitable_timer_high_resolution = 0x00000002;

}  // namespace

win32::unique_handle WaitableTimerClockWin32::create_high_resolution_timer() {
  return win32::unique_handle(::CreateWaitableTimerExW(nullptr, nullptr, create_waitable_timer_high_resolution,
                                                TIMER_ALL_ACCESS));
}

Clock::time_point WaitableTimerClockWin32::now() {
  return std::chrono::steady_clock::now();
}

void WaitableTimerClockWin32::sleep(std::chrono::milliseconds duration) {
  if (duration.count() <= 0) return;
  if (timer_) {
    // Negative: relative to now, in 100 ns units.
    LARGE_INTEGER due{};
    due.QuadPart = -static_cast<LONGLONG>(duration.count()) * 10'000;
    if (::SetWaitableTimer(timer_.get(), &due, 0, nullptr, nullptr, FALSE) &&
        ::WaitForSingleObject(timer_.get(), INFINITE) == WAIT_OBJECT_0) {
      return;
    }
  }
  ::Sleep(static_cast<DWORD>(duration.count()));
}

}  // namespace vorlane::pipe
