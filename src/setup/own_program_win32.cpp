#include "src/setup/own_program_win32.hpp"

#include <windows.h>

#include <vector>

#include "src/common/win32/files.hpp"
#include "src/common/win32/sized_call.hpp"
#include "src/common/win32/system_error.hpp"
#include "src/common/win32/wide.hpp"

namespace vorlane::setup {
namespace {

using vorlane::win32::last_system_error_text;
using vorlane::win32::system_error_text;
using vorlane::win32::to_wide;
using vorlane::win32::unique_handle;

std::expected<std::string, std::string> module_path() {
  const auto path = vorlane::win32::call_with_growing_buffer(
      [](wchar_t* buffer, DWORD units) { return ::GetModuleFileNameW(nullptr, buffer, units); },
      MAX_PATH);
  if (!path) {
    return std::unexpected(system_error_text(path.error()));
  }
  return vorlane::win32::to_utf8(*path);
}

}  // namespace

std::expected<std::string, std::string> OwnProgramWin32::open() {
  const auto path = module_path();
  if (!path) {
    return path;
  }
  // Sharing only reading: while this handle is open, nobody can write, rename or delete it.
  file_.reset(::CreateFileW(to_wide(*path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file_) {
    return std::unexpected(last_system_error_text());
  }
  return path;
}

std::expected<void, std::string> OwnProgramWin32::copy_to(const std::string& path) {
  if (!file_) {
    return std::unexpected(system_error_text(ERROR_INVALID_HANDLE));
  }
  // Every attempt reads from the start again: an earlier one may have stopped half-way.
  if (!::SetFilePointerEx(file_.get(), LARGE_INTEGER{}, nullptr, FILE_BEGIN)) {
    return std::unexpected(last_system_error_text());
  }
  // The target is in the install folder under Program Files, which only administrators may
  // change, so a plain open by name is the file meant.
  unique_handle target(::CreateFileW(to_wide(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!target) {
    return std::unexpected(last_system_error_text());
  }
  std::vector<char> chunk(1 << 16);
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file_.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)) {
      return std::unexpected(last_system_error_text());
    }
    if (got == 0) {
      return {};
    }
    if (auto written = vorlane::win32::write_all_to(target.get(), std::string_view(chunk.data(), got));
        !written) {
      return written;
    }
  }
}

}  // namespace vorlane::setup
