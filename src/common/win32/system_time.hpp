#pragma once
// The wall-clock time as Windows keeps it.
#include <cstdint>

namespace vorlane::win32 {

// Now, as 100-ns ticks since 1601-01-01 UTC, at the system's finest resolution.
[[nodiscard]] std::uint64_t filetime_now();

}  // namespace vorlane::win32
