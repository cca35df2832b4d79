#include "src/common/win32/system_error.hpp"

#include "src/common/error_text.hpp"
#include "src/common/win32/unique_handle.hpp"
#include "src/common/win32/wide.hpp"

namespace vorlane::win32 {

// The portable error texts build the shown HRESULT from their own copy of its fixed part.
static_assert(hresult_win32_error_base ==
              static_cast<std::uint32_t>(MAKE_HRESULT(SEVERITY_ERROR, FACILITY_WIN32, 0)));

std::optional<std::string> system_message(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  unique_hlocal owner(buffer);
  if (length == 0 || buffer == nullptr) {
    return std::nullopt;
  }
  return to_utf8(std::wstring_view(buffer, length));
}

std::string system_error_text(DWORD code) {
  return vorlane::system_error_text(system_message(code).value_or(""), code);
}

std::string windows_error_text(DWORD code) {
  return vorlane::windows_error_text(system_message(code), code);
}

std::string last_system_error_text() { return system_error_text(::GetLastError()); }
std::string last_windows_error_text() { return windows_error_text(::GetLastError()); }

}  // namespace vorlane::win32
