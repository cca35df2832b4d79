// How long the serve side's 10 ms poll sleep lasts, by the three ways of sleeping:
//   sleep_length.exe [COUNT]
// Sleep(10); the clock the helper uses (a high-resolution waitable timer); and that clock
// without a timer, as where the system refuses the flag. Prints whether the system gave the
// timer, then the median, 99th percentile and mean length of each in microseconds.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "src/input_helper/pipe/waitable_clock_win32.hpp"

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
  vorlane::pipe::WaitableTimerClockWin32 timer_clock;
  // What the clock does where the system refuses the high-resolution flag.
  vorlane::pipe::WaitableTimerClockWin32 fallback_clock{vorlane::win32::unique_handle{}};
  std::printf("high-resolution timer %s; 10 ms sleeps, %d of each\n",
              timer_clock.has_timer() ? "created" : "refused", count);
  measure("Sleep(10)", count, [] { ::Sleep(10); });
  measure("serve clock", count, [&] { timer_clock.sleep(10ms); });
  measure("serve clock without a timer (fallback)", count, [&] { fallback_clock.sleep(10ms); });
  return 0;
}
