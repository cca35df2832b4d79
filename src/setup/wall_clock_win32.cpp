#include "src/setup/wall_clock_win32.hpp"

#include "src/common/unix_time.hpp"
#include "src/common/win32/system_time.hpp"

namespace vorlane::setup {

std::uint64_t WallClockWin32::unix_seconds() {
  return unix_seconds_from_filetime(vorlane::win32::filetime_now());
}

}  // namespace vorlane::setup
