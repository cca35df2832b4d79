#include "src/input_helper/pipe/pipe_io_win32.hpp"

#include <limits>

#include "src/common/win32/system_error.hpp"

namespace vorlane::pipe {

// The portable side's copy of the code a vanished client shows as; a mistyped copy must not build.
static_assert(error_broken_pipe == ERROR_BROKEN_PIPE);

std::expected<std::size_t, std::string> PipeIoWin32::peek() {
  DWORD available = 0;
  if (!::PeekNamedPipe(pipe_, nullptr, 0, nullptr, &available, nullptr)) {
    return std::unexpected(win32::last_windows_error_text());
  }
  return available;
}

std::expected<std::size_t, std::string> PipeIoWin32::read(char* buffer, std::size_t size) {
  DWORD got = 0;
  if (!::ReadFile(pipe_, buffer, static_cast<DWORD>(size), &got, nullptr)) {
    return std::unexpected(win32::last_windows_error_text());
  }
  return got;
}

std::expected<std::size_t, std::string> PipeIoWin32::write(const char* data, std::size_t size) {
  constexpr std::size_t most = std::numeric_limits<DWORD>::max();
  DWORD wrote = 0;
  if (!::WriteFile(pipe_, data, static_cast<DWORD>(size < most ? size : most), &wrote, nullptr)) {
    return std::unexpected(win32::last_windows_error_text());
  }
  return wrote;
}

}  // namespace vorlane::pipe
