#pragma once
// Opening a file that an elevated run writes, so that a link planted by a program of the same
// user cannot turn the write onto another file.
#include <windows.h>

#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "src/common/opened_file.hpp"
#include "src/common/win32/unique_handle.hpp"

namespace vorlane::win32 {

struct [[nodiscard]] CheckedOpenFailure {
  DWORD error = 0;                     // the system's code when the open itself failed
  std::optional<FileRefusal> refusal;  // set when the file was opened and refused
};

// Opens `trusted_folder` joined with `tail` without truncating it: the existing file, or a new one.
// The folder is the system's or the caller's choice and may be reached through links; every name
// in `tail` must be the plain thing it says. The file is accepted only when its handle shows a
// plain file with one link whose final path is the folder's final path joined with `tail`. A file
// this call created and then refused is deleted through its own handle.
[[nodiscard]] std::expected<unique_handle, CheckedOpenFailure> open_checked_file(
    std::wstring_view trusted_folder, std::wstring_view tail, DWORD access, DWORD share);

// The full path of `path` (as the system completes it) split into its folder and last name.
[[nodiscard]] std::optional<std::pair<std::wstring, std::wstring>> split_full_path(std::wstring_view path);

}  // namespace vorlane::win32
