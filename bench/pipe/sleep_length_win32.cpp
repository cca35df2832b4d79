// How long the serve side's 10 ms poll sleep lasts, by the three ways of sleeping:
//   sleep_length.exe [COUNT]
// Sleep(10); the clock the helper uses (a high-resolution waitable timer); and that clock
// given a flag the system refuses, which must fall back to Sleep. Prints, for each, whether a
// timer was created and the median, 99th percentile and mean length in microseconds.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "input_helper/pipe/waitable_clock_win32.hpp"

namespace {

using namespace std::chrono_literals;

void measure(const char* what, int count, const std::function<void()>& sleep) {
  std::vector<double> micros;
  for (int i = 0; i < count; ++i) {
    const auto start = std::chrono::steady_clock::now();
    sleep();
    micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
  }
  double sum = 0;
  for (const double m : micros) sum += m;
  std::sort(micros.begin(), micros.end());
  const auto at = [&](double q) { return micros[static_cast<std::size_t>(q * (micros.size() - 1))]; };
  std::printf("%-44s median %6.0f us, p99 %6.0f us, mean %6.0f us\n", what, at(0.5), at(0.99),
              sum / count);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int count = argc > 1 ? std::max(1, _wtoi(argv[1])) : 200;
  vorlane::win32::WaitableTimerClock timer_clock;
  // No such flag exists; the system refuses it as it refuses the high-resolution one before 1803.
  vorlane::win32::WaitableTimerClock refused_clock(0x80000000);
  std::printf("10 ms sleeps, %d of each\n", count);
  measure("Sleep(10)", count, [] { ::Sleep(10); });
  measure(timer_clock.high_resolution() ? "clock, high-resolution timer" : "clock, timer refused: Sleep", count,
          [&] { timer_clock.sleep(10ms); });
  measure(refused_clock.high_resolution() ? "clock, unknown flag accepted (no fallback run)"
                                          : "clock, flag refused: fallback to Sleep",
          count, [&] { refused_clock.sleep(10ms); });
  return timer_clock.high_resolution() && !refused_clock.high_resolution() ? 0 : 1;
}
