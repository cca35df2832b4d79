#include "src/common/win32/system_time.hpp"

#include <windows.h>

namespace vorlane::win32 {

std::uint64_t filetime_now() {
  FILETIME now{};
  ::GetSystemTimePreciseAsFileTime(&now);
  return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

}  // namespace vorlane::win32
