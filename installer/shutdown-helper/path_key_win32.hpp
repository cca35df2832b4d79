#pragma once
// Path keys over Windows: a file opened without access rights, named by its final path.
#include <windows.h>

#include <expected>
#include <string>

#include "installer/shutdown-helper/preflight.hpp"
#include "src/common/win32/unique_handle.hpp"

namespace vorlane::haltgate {

inline constexpr DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opened without access rights, so directories and files in use open too; links are followed.
[[nodiscard]] vorlane::win32::unique_handle open_for_query(const std::wstring& path);

// The lower-cased final path of the file at `path`, or the system error text.
[[nodiscard]] std::expected<std::string, std::string> path_key_of(const std::wstring& path);

class PathKeysWin32 final : public PathKeys {
 public:
  [[nodiscard]] std::expected<void, SystemError> read_attributes(const std::string& path) override;
  [[nodiscard]] std::expected<std::string, std::string> path_key(const std::string& path) override;
};

}  // namespace vorlane::haltgate
