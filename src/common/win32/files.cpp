#include "src/common/win32/files.hpp"

#include "src/common/win32/system_error.hpp"
#include "src/common/write_all.hpp"

namespace vorlane::win32 {
namespace {

bool is_directory(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

DWORD create_directories(std::wstring path) {
  while (path.size() > 1 && (path.back() == L'\\' || path.back() == L'/')) {
    path.pop_back();
  }
  if (path.empty() || ::CreateDirectoryW(path.c_str(), nullptr)) {
    return ERROR_SUCCESS;
  }
  DWORD error = ::GetLastError();
  if (error == ERROR_PATH_NOT_FOUND) {
    const auto cut = path.find_last_of(L"\\/");
    if (cut != std::wstring::npos && cut > 0) {
      if (const DWORD parent = create_directories(path.substr(0, cut)); parent != ERROR_SUCCESS) {
        return parent;
      }
      if (::CreateDirectoryW(path.c_str(), nullptr)) {
        return ERROR_SUCCESS;
      }
      error = ::GetLastError();
    }
  }
  // An existing folder is fine, even one this user may not create in.
  return is_directory(path) ? ERROR_SUCCESS : error;
}

std::expected<void, std::string> write_all_to(HANDLE file, std::string_view bytes) {
  return write_all(
      bytes,
      [file](std::string_view piece) -> std::expected<std::size_t, std::string> {
        DWORD written = 0;
        if (!::WriteFile(file, piece.data(), static_cast<DWORD>(piece.size()), &written, nullptr)) {
          return std::unexpected(last_system_error_text());
        }
        return written;
      },
      [] { return system_error_text(ERROR_WRITE_FAULT); });
}

}  // namespace vorlane::win32
