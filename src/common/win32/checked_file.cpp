#include "src/common/win32/checked_file.hpp"

#include <utility>

#include "src/common/path.hpp"
#include "src/common/win32/sized_call.hpp"
#include "src/common/win32/wide.hpp"

namespace vorlane::win32 {
namespace {

constexpr DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Not in the MinGW-w64 headers: the per-folder flag that makes names in it keep their case.
constexpr ULONG case_sensitive_dir_flag = 0x00000001;
// A link at the name is opened itself rather than followed.
constexpr DWORD open_flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;

// "C:" alone names the drive's current folder, not its root.
std::wstring parent_folder(std::wstring_view path, std::size_t cut) {
  std::wstring folder(path.substr(0, cut));
  if (folder.empty() || folder.back() == L':') folder.push_back(L'\\');
  return folder;
}

std::optional<std::wstring> final_path(HANDLE handle) {
  auto path = call_with_growing_buffer(
      [handle](wchar_t* buffer, DWORD units) { return ::GetFinalPathNameByHandleW(handle, buffer, units, 0); },
      MAX_PATH);
  if (!path) return std::nullopt;
  return std::move(*path);
}

// Win32 names ignore letter case unless the folder was made case-sensitive; a system that cannot
// tell has no such folders.
NameCase name_case_in(HANDLE folder) {
  FILE_CASE_SENSITIVE_INFO info{};
  if (::GetFileInformationByHandleEx(folder, FileCaseSensitiveInfo, &info, sizeof info) &&
      (info.Flags & case_sensitive_dir_flag) != 0) {
    return NameCase::sensitive;
  }
  return NameCase::insensitive;
}

std::optional<OpenedFileFacts> read_facts(HANDLE file) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!::GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag)) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file, &info)) return std::nullopt;
  const auto path = final_path(file);
  if (!path) return std::nullopt;
  return OpenedFileFacts{
      .reparse_point = (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || tag.ReparseTag != 0,
      .directory = (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
      .link_count = info.nNumberOfLinks,
      .final_path = std::u16string(as_u16(*path)),
  };
}

// Through the handle, so the name cannot be swapped for another file in between.
void delete_on_close(HANDLE file) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
}

std::unexpected<CheckedOpenFailure> failure(DWORD error, std::optional<FileRefusal> refusal = std::nullopt) {
  return std::unexpected(CheckedOpenFailure{.error = error, .refusal = refusal});
}

}  // namespace

std::expected<unique_handle, CheckedOpenFailure> open_checked_file(std::wstring_view trusted_folder,
                                                                   std::wstring_view tail,
                                                                   DWORD access, DWORD share) {
  const std::wstring folder(trusted_folder);
  const unique_handle folder_handle(::CreateFileW(folder.c_str(), 0, share_all, nullptr, OPEN_EXISTING,
                                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!folder_handle) return failure(::GetLastError());
  const auto folder_final = final_path(folder_handle.get());
  if (!folder_final) return failure(::GetLastError());

  const std::wstring path = join_path(folder, tail);
  access |= FILE_READ_ATTRIBUTES;
  unique_handle file;
  bool created = false;
  // Never truncating on open: nothing is changed before the checks. A second round covers a file
  // another run created in between; a name that exists yet cannot be opened is a link naming
  // nothing, which CREATE_NEW refuses to follow.
  for (int round = 0; !file; ++round) {
    file.reset(::CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, open_flags, nullptr));
    if (file) break;
    DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) return failure(error);
    file.reset(::CreateFileW(path.c_str(), access | DELETE, share, nullptr, CREATE_NEW, open_flags, nullptr));
    if (file) {
      created = true;
      break;
    }
    error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return failure(error);
    if (round == 1) return failure(error, FileRefusal::dangling_link);
  }

  const auto facts = read_facts(file.get());
  if (!facts) {
    const DWORD error = ::GetLastError();
    if (created) delete_on_close(file.get());
    return failure(error);
  }
  const std::u16string expected = expected_final_path(as_u16(*folder_final), as_u16(tail));
  if (const auto refusal = refuse_opened_file(*facts, expected, name_case_in(folder_handle.get()))) {
    if (created) delete_on_close(file.get());
    return failure(0, refusal);
  }
  return file;
}

std::optional<std::pair<std::wstring, std::wstring>> split_full_path(std::wstring_view path) {
  const std::wstring input(path);
  const DWORD needed = ::GetFullPathNameW(input.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return std::nullopt;
  std::wstring full(needed, L'\0');
  const DWORD length = ::GetFullPathNameW(input.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return std::nullopt;
  full.resize(length);
  const std::size_t cut = full.find_last_of(L"\\/");
  if (cut == std::wstring::npos || cut + 1 == full.size()) return std::nullopt;
  return std::pair{parent_folder(full, cut), full.substr(cut + 1)};
}

}  // namespace vorlane::win32
