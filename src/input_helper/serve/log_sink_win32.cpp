#include "src/input_helper/serve/log_sink_win32.hpp"

#include <windows.h>

namespace vorlane::serve {

// Bytes as given, so lines end in "\n" alone; without an error stream the line is lost.
void StandardErrorLogWin32::write_line(std::string_view line) {
  const HANDLE stream = ::GetStdHandle(STD_ERROR_HANDLE);
  if (stream == nullptr || stream == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  // A diagnostic line that cannot be written has nowhere else to go.
  (void)::WriteFile(stream, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace vorlane::serve
