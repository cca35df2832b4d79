#include "installer/shutdown-helper/clock_win32.hpp"

#include <windows.h>

#include <cstdint>

namespace vorlane::haltgate {

Clock::time_point PerformanceClockWin32::now() {
  LARGE_INTEGER frequency{}, counter{};
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&counter);
  const auto ticks = static_cast<std::uint64_t>(counter.QuadPart);
  const auto per_second = static_cast<std::uint64_t>(frequency.QuadPart);
  const std::uint64_t nanoseconds =
      ticks / per_second * 1'000'000'000 + ticks % per_second * 1'000'000'000 / per_second;
  return time_point(std::chrono::duration_cast<time_point::duration>(std::chrono::nanoseconds(nanoseconds)));
}

void PerformanceClockWin32::sleep(std::chrono::milliseconds duration) {
  ::Sleep(static_cast<DWORD>(duration.count()));
}

}  // namespace vorlane::haltgate
