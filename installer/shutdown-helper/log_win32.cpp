#include "installer/shutdown-helper/log_win32.hpp"

#include <windows.h>

#include "installer/shutdown-helper/path_key_win32.hpp"
#include "installer/shutdown-helper/texts.hpp"
#include "src/common/unix_time.hpp"
#include "src/common/win32/checked_file.hpp"
#include "src/common/win32/system_time.hpp"
#include "src/common/win32/wide.hpp"

namespace vorlane::haltgate {

using vorlane::win32::to_wide;

void FileLogWin32::write_line(std::string_view text) {
  const std::string line =
      format_log_line(unix_milliseconds_from_filetime(vorlane::win32::filetime_now()), text);
  DWORD written = 0;
  ::WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

bool EntrySystemWin32::create_directory(const std::string& path) {
  const std::wstring wide = to_wide(path);
  if (::CreateDirectoryW(wide.c_str(), nullptr)) {
    return true;
  }
  // An existing folder is fine, even one this user may not create in.
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::unique_ptr<Log> EntrySystemWin32::open_log(const std::string& path) {
  // The folders may be reached through links, as the installer chose them; the log's own name
  // must be the plain file, or an elevated run would append to whatever a planted link names.
  const auto parts = vorlane::win32::split_full_path(to_wide(path));
  if (!parts) {
    return nullptr;
  }
  // Append-only access puts every line at the end even when another writer shares the file.
  auto file = vorlane::win32::open_checked_file(parts->first, parts->second, FILE_APPEND_DATA, share_all);
  if (!file) {
    return nullptr;
  }
  return std::make_unique<FileLogWin32>(std::move(*file));
}

}  // namespace vorlane::haltgate
