#include "src/setup/wall_clock_win32.hpp"

#include <windows.h>

namespace vorlane::setup {
namespace {

// 100-ns intervals between 1601-01-01 and 1970-01-01.
constexpr ULONGLONG unix_epoch_in_filetime = 116444736000000000ULL;

}  // namespace

std::uint64_t WallClockWin32::unix_seconds() {
  FILETIME now{};
  ::GetSystemTimePreciseAsFileTime(&now);
  const ULONGLONG ticks = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return ticks < unix_epoch_in_filetime ? 0 : (ticks - unix_epoch_in_filetime) / 10'000'000ULL;
}

}  // namespace vorlane::setup
