#include <cstdint>

#include <gtest/gtest.h>

#include "src/common/unix_time.hpp"

namespace vorlane {
namespace {

constexpr std::uint64_t epoch = filetime_ticks_at_unix_epoch;
constexpr std::uint64_t ticks_per_ms = 10'000;
constexpr std::uint64_t ticks_per_s = 10'000'000;

// Both are usable where a constant is needed.
static_assert(unix_milliseconds_from_filetime(epoch) == 0);
static_assert(unix_seconds_from_filetime(epoch) == 0);

struct TimeCase {
  const char* what;
  std::uint64_t ticks;
  std::int64_t milliseconds;
  std::uint64_t seconds;
};

constexpr TimeCase time_cases[] = {
    {"the epoch", epoch, 0, 0},
    {"a tick after", epoch + 1, 0, 0},
    {"a millisecond after", epoch + ticks_per_ms, 1, 0},
    {"just under a second after", epoch + ticks_per_s - 1, 999, 0},
    {"a second after", epoch + ticks_per_s, 1000, 1},
    {"2024-01-01T00:00:00.123Z", epoch + 1'704'067'200 * ticks_per_s + 123 * ticks_per_ms,
     1'704'067'200'123, 1'704'067'200},
    // Before 1970 the milliseconds go negative, cut toward zero; the seconds stay at zero.
    {"a tick before", epoch - 1, 0, 0},
    {"a millisecond before", epoch - ticks_per_ms, -1, 0},
    {"a millisecond and a half before", epoch - ticks_per_ms - ticks_per_ms / 2, -1, 0},
    {"1601-01-01", 0, -11'644'473'600'000, 0},
};

TEST(UnixTime, FromFiletimeTicks) {
  for (const TimeCase& c : time_cases) {
    EXPECT_EQ(unix_milliseconds_from_filetime(c.ticks), c.milliseconds) << c.what;
    EXPECT_EQ(unix_seconds_from_filetime(c.ticks), c.seconds) << c.what;
  }
}

}  // namespace
}  // namespace vorlane
