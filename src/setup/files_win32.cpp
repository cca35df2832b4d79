#include "src/setup/files_win32.hpp"

#include <windows.h>

#include "src/common/path.hpp"
#include "src/common/win32/files.hpp"
#include "src/common/win32/system_error.hpp"
#include "src/common/win32/unique_handle.hpp"
#include "src/common/win32/wide.hpp"
#include "src/setup/program_files_win32.hpp"

namespace vorlane::setup {
namespace {

using vorlane::win32::last_system_error_text;
using vorlane::win32::to_utf8;
using vorlane::win32::to_wide;
using vorlane::win32::unique_find;
using vorlane::win32::unique_handle;

// What becomes of a file whose write fails part-way.
enum class OnFailedWrite { keep, remove };

// The folders written here are the administrators' own, so a plain open by name is the file meant.
std::expected<void, std::string> write_file_as(const std::string& path, std::string_view bytes,
                                               DWORD disposition, OnFailedWrite on_failure) {
  const DWORD access = on_failure == OnFailedWrite::remove ? GENERIC_WRITE | DELETE : GENERIC_WRITE;
  unique_handle file(::CreateFileW(to_wide(path).c_str(), access, 0, nullptr, disposition,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    return std::unexpected(last_system_error_text());
  }
  auto written = vorlane::win32::write_all_to(file.get(), bytes);
  if (!written && on_failure == OnFailedWrite::remove) {
    // Through the handle rather than the name: only the file this call made goes.
    FILE_DISPOSITION_INFO dispose{TRUE};
    (void)::SetFileInformationByHandle(file.get(), FileDispositionInfo, &dispose, sizeof dispose);
  }
  return written;
}

}  // namespace

std::expected<std::string, std::string> SetupFilesWin32::program_files_dir() {
  return program_files_folder();
}

bool SetupFilesWin32::is_file(const std::string& path) {
  // Opening follows links; the backup flag lets a folder open so it can be told apart.
  unique_handle handle(::CreateFileW(to_wide(path).c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  return handle && ::GetFileInformationByHandle(handle.get(), &info) &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::expected<void, std::string> SetupFilesWin32::create_directories(const std::string& path) {
  if (const DWORD error = vorlane::win32::create_directories(to_wide(path)); error != ERROR_SUCCESS) {
    return std::unexpected(vorlane::win32::system_error_text(error));
  }
  return {};
}

std::expected<void, std::string> SetupFilesWin32::write_file(const std::string& path,
                                                             std::string_view bytes) {
  return write_file_as(path, bytes, CREATE_ALWAYS, OnFailedWrite::keep);
}

std::expected<void, std::string> SetupFilesWin32::write_new_file(const std::string& path,
                                                                 std::string_view bytes) {
  // A file left half-written would keep its folder from ever being removed.
  return write_file_as(path, bytes, CREATE_NEW, OnFailedWrite::remove);
}

bool SetupFilesWin32::remove_file(const std::string& path) {
  return ::DeleteFileW(to_wide(path).c_str()) != 0;
}

bool SetupFilesWin32::remove_empty_directory(const std::string& path) {
  return ::RemoveDirectoryW(to_wide(path).c_str()) != 0;
}

std::optional<std::vector<std::string>> SetupFilesWin32::list_directory(const std::string& path) {
  WIN32_FIND_DATAW entry{};
  const std::wstring pattern = to_wide(join_path(path, "*"));
  unique_find find(::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry,
                                      FindExSearchNameMatch, nullptr, 0));
  if (!find) {
    return std::nullopt;
  }
  std::vector<std::string> names;
  do {
    names.push_back(to_utf8(entry.cFileName));
  } while (::FindNextFileW(find.get(), &entry));
  if (::GetLastError() != ERROR_NO_MORE_FILES) {
    return std::nullopt;
  }
  return names;
}

}  // namespace vorlane::setup
