#include "installer/shutdown-helper/path_key_win32.hpp"

#include <windows.h>

#include <limits>

#include "installer/shutdown-helper/constants.hpp"
#include "installer/shutdown-helper/lowercase.hpp"
#include "src/common/win32/sized_call.hpp"
#include "src/common/win32/system_error.hpp"
#include "src/common/win32/wide.hpp"

namespace vorlane::haltgate {

static_assert(error_file_not_found == ERROR_FILE_NOT_FOUND && error_path_not_found == ERROR_PATH_NOT_FOUND);

using vorlane::win32::last_system_error_text;
using vorlane::win32::system_error_text;
using vorlane::win32::to_utf8;
using vorlane::win32::to_wide;
using vorlane::win32::unique_handle;

unique_handle open_for_query(const std::wstring& path) {
  return unique_handle(::CreateFileW(path.c_str(), 0, share_all, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

std::expected<std::string, std::string> path_key_of(const std::wstring& path) {
  const unique_handle file = open_for_query(path);
  if (!file) {
    return std::unexpected(last_system_error_text());
  }
  // Grown to whatever size the system asks for, however long the final path is.
  const auto final_path = vorlane::win32::call_with_growing_buffer(
      [&](wchar_t* buffer, DWORD units) { return ::GetFinalPathNameByHandleW(file.get(), buffer, units, 0); },
      static_cast<DWORD>(final_path_initial_units), std::numeric_limits<DWORD>::max());
  if (!final_path) {
    return std::unexpected(system_error_text(final_path.error()));
  }
  return unicode_lower(to_utf8(*final_path));
}

std::expected<void, SystemError> PathKeysWin32::read_attributes(const std::string& path) {
  if (!open_for_query(to_wide(path))) {
    const DWORD error = ::GetLastError();
    return std::unexpected(SystemError{error, system_error_text(error)});
  }
  return {};
}

std::expected<std::string, std::string> PathKeysWin32::path_key(const std::string& path) {
  return path_key_of(to_wide(path));
}

}  // namespace vorlane::haltgate
