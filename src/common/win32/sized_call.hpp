#pragma once
// The one "call, grow the buffer, call again" loop for system functions that fill a caller's
// buffer of UTF-16 units.
#include <windows.h>

#include <algorithm>
#include <expected>
#include <string>

namespace vorlane::win32 {

// `call(buffer, units)` makes the system call with a buffer of `units` units and returns its
// DWORD result, which this loop reads in either of the two forms such functions use:
//   - below `units`: success, the length written (terminator excluded);
//   - `units` or more: the buffer was too small, and the result is either the size needed
//     (terminator included; the buffer grows to it) or `units` itself for a function that only
//     truncates (the buffer doubles);
//   - 0: failure, with the error from GetLastError(); 0 with no error set is an empty result.
// A call that would need more than `max_units` fails with ERROR_INSUFFICIENT_BUFFER. A function
// of another form is adapted in `call` (e.g. return `units` for ERROR_INSUFFICIENT_BUFFER).
template <class Call>
[[nodiscard]] std::expected<std::wstring, DWORD> call_with_growing_buffer(Call call, DWORD initial_units,
                                                                          DWORD max_units = 32768) {
  std::wstring buffer;
  DWORD units = std::clamp<DWORD>(initial_units, 1, std::max<DWORD>(max_units, 1));
  for (;;) {
    buffer.resize(units);
    ::SetLastError(ERROR_SUCCESS);
    const DWORD result = call(buffer.data(), units);
    if (result == 0) {
      const DWORD error = ::GetLastError();
      if (error != ERROR_SUCCESS) return std::unexpected(error);
      return std::wstring();
    }
    if (result < units) {
      buffer.resize(result);
      return buffer;
    }
    const DWORD wanted = result > units ? result : (units > max_units / 2 ? max_units : units * 2);
    if (units >= max_units || wanted > max_units) return std::unexpected(DWORD{ERROR_INSUFFICIENT_BUFFER});
    units = wanted;
  }
}

}  // namespace vorlane::win32
