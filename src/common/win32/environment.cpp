#include "src/common/win32/environment.hpp"

#include <windows.h>

#include <utility>

#include "src/common/win32/sized_call.hpp"

namespace vorlane::win32 {
namespace {

// Most values fit at once. A value holds at most 32767 units with its terminator; the system
// measures the buffer in 16 bits of bytes, so a larger one is not offered.
constexpr DWORD initial_value_units = 256;
constexpr DWORD max_value_units = 32767;

}  // namespace

std::optional<std::wstring> environment_variable(const wchar_t* name) {
  auto value = call_with_growing_buffer(
      [name](wchar_t* buffer, DWORD units) { return ::GetEnvironmentVariableW(name, buffer, units); },
      initial_value_units, max_value_units);
  if (!value) return std::nullopt;
  return std::move(*value);
}

}  // namespace vorlane::win32
