#include "installer/shutdown-helper/unlock_win32.hpp"

#include <windows.h>

#include <cstdint>

#include "installer/shutdown-helper/path_key_win32.hpp"
#include "installer/shutdown-helper/texts.hpp"
#include "src/common/path.hpp"
#include "src/common/win32/system_error.hpp"
#include "src/common/win32/unique_handle.hpp"
#include "src/common/win32/wide.hpp"

namespace vorlane::haltgate {
namespace {

using vorlane::win32::system_error_text;
using vorlane::win32::to_utf8;
using vorlane::win32::to_wide;
using vorlane::win32::unique_find;
using vorlane::win32::unique_handle;

// The unlock walk tells links by its own copy of the name-surrogate bit, which must be exactly
// the bit the system tests.
static_assert(IsReparseTagNameSurrogate(~std::uint32_t{0}) == reparse_tag_name_surrogate);

std::expected<void, std::string> verify_unlocked_wide(const std::wstring& directory, bool listed) {
  if (!listed && !open_for_query(directory)) {
    return {};  // nothing there to verify
  }

  WIN32_FIND_DATAW entry{};
  unique_find listing(::FindFirstFileW(join_path(directory, L"*").c_str(), &entry));
  if (!listing) {
    const DWORD error = ::GetLastError();
    if (listed && (error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND)) {
      return {};  // removed since it was listed: as if its attributes could not be read
    }
    return std::unexpected(system_error_text(error));
  }
  for (;;) {
    const std::wstring_view name(entry.cFileName);
    if (name != L"." && name != L"..") {
      const bool reparse = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      // A link is neither followed nor opened. A reparse point that reports no tag at all is
      // taken for a link too: following it could walk outside the installation or in a circle.
      const bool link = reparse && (is_name_surrogate(entry.dwReserved0) || entry.dwReserved0 == 0);
      const std::wstring path = join_path(directory, name);
      if (link) {
        // skipped
      } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (auto nested = verify_unlocked_wide(path, true); !nested) {
          return nested;
        }
      } else if (is_executable_name(to_utf8(name))) {
        const unique_handle file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
        if (!file) {
          const DWORD error = ::GetLastError();
          return std::unexpected(unlock_error_text(to_utf8(path), system_error_text(error)));
        }
      }
    }
    if (!::FindNextFileW(listing.get(), &entry)) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_NO_MORE_FILES) {
        return {};
      }
      return std::unexpected(system_error_text(error));
    }
  }
}

}  // namespace

std::expected<void, std::string> UnlockCheckWin32::verify_unlocked(const std::string& directory) {
  return verify_unlocked_wide(to_wide(directory), false);
}

}  // namespace vorlane::haltgate
