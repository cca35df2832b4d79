#include "installer/shutdown-helper/path_key_win32.hpp"

#include <windows.h>

#include <vector>

#include "installer/shutdown-helper/constants.hpp"
#include "installer/shutdown-helper/lowercase.hpp"
#include "src/common/win32/system_error.hpp"
#include "src/common/win32/wide.hpp"

namespace vorlane::haltgate {

using vorlane::win32::last_system_error_text;
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
  std::vector<wchar_t> buffer(final_path_initial_units);
  for (;;) {
    const DWORD length = ::GetFinalPathNameByHandleW(file.get(), buffer.data(),
                                                     static_cast<DWORD>(buffer.size()), 0);
    if (length == 0) {
      return std::unexpected(last_system_error_text());
    }
    if (length < buffer.size()) {
      return unicode_lower(to_utf8(std::wstring_view(buffer.data(), length)));
    }
    buffer.resize(length);  // the size asked for, terminator included
  }
}

bool PathKeysWin32::exists(const std::string& path) {
  return open_for_query(to_wide(path)).valid();
}

std::expected<std::string, std::string> PathKeysWin32::path_key(const std::string& path) {
  return path_key_of(to_wide(path));
}

}  // namespace vorlane::haltgate
