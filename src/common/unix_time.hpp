#pragma once
// Windows file times (100-ns ticks since 1601-01-01 UTC) as Unix times.
#include <cstdint>

namespace vorlane {

// Ticks from 1601-01-01 to 1970-01-01.
inline constexpr std::uint64_t filetime_ticks_at_unix_epoch = 116'444'736'000'000'000ULL;

// Milliseconds since 1970, negative before it, cut toward zero. Worked out in wrapping unsigned
// arithmetic so every tick count has a defined result.
[[nodiscard]] constexpr std::int64_t unix_milliseconds_from_filetime(std::uint64_t ticks_since_1601) {
  return static_cast<std::int64_t>(ticks_since_1601 - filetime_ticks_at_unix_epoch) / 10'000;
}

// Whole seconds since 1970; a time before it counts as 1970 itself.
[[nodiscard]] constexpr std::uint64_t unix_seconds_from_filetime(std::uint64_t ticks_since_1601) {
  return ticks_since_1601 < filetime_ticks_at_unix_epoch
             ? 0
             : (ticks_since_1601 - filetime_ticks_at_unix_epoch) / 10'000'000;
}

}  // namespace vorlane
