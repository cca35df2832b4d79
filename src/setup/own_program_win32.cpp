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

// NTSTATUS NtAreMappedFilesTheSame(PVOID File1MappedAsAnImage, PVOID File2MappedAsFile): 0 when
// both views come from the same file.
using AreMappedFilesTheSame = LONG(NTAPI*)(PVOID, PVOID);

// Kept in UTF-16 up to the open: a name that does not convert cleanly would name another file.
std::expected<std::wstring, std::string> module_path() {
  const auto path = vorlane::win32::call_with_growing_buffer(
      [](wchar_t* buffer, DWORD units) { return ::GetModuleFileNameW(nullptr, buffer, units); },
      MAX_PATH);
  if (!path) {
    return std::unexpected(system_error_text(path.error()));
  }
  return *path;
}

}  // namespace

std::expected<std::string, std::string> OwnProgramWin32::open() {
  const auto path = module_path();
  if (!path) {
    return std::unexpected(path.error());
  }
  // Sharing only reading: while this handle is open, nobody can write, rename or delete it.
  file_.reset(::CreateFileW(path->c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file_) {
    return std::unexpected(last_system_error_text());
  }
  return vorlane::win32::to_utf8(*path);
}

std::expected<bool, std::string> OwnProgramWin32::is_running_image() {
  if (!file_) {
    return std::unexpected(system_error_text(ERROR_INVALID_HANDLE));
  }
  // The system compares the files behind two views; names cannot serve, as the name kept for a
  // loaded image does not follow a rename of its folder.
  const unique_handle section(
      ::CreateFileMappingW(file_.get(), nullptr, PAGE_READONLY | SEC_IMAGE, 0, 0, nullptr));
  if (!section) {
    return std::unexpected(last_system_error_text());
  }
  const vorlane::win32::unique_view view(::MapViewOfFile(section.get(), FILE_MAP_READ, 0, 0, 0));
  if (!view) {
    return std::unexpected(last_system_error_text());
  }
  const auto same_file = reinterpret_cast<AreMappedFilesTheSame>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtAreMappedFilesTheSame")));
  if (same_file == nullptr) {
    return std::unexpected(last_system_error_text());
  }
  // Any answer but "the same" leaves the file unproven, which is as bad as another file.
  return same_file(::GetModuleHandleW(nullptr), view.get()) == 0;
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
