#include "installer/shutdown-helper/unlock_win32.hpp"

#include <windows.h>

#include <cstdint>
#include <limits>
#include <optional>

#include "installer/shutdown-helper/constants.hpp"
#include "installer/shutdown-helper/path_key_win32.hpp"
#include "installer/shutdown-helper/texts.hpp"
#include "src/common/win32/sized_call.hpp"
#include "src/common/win32/system_error.hpp"
#include "src/common/win32/unique_handle.hpp"
#include "src/common/win32/wide.hpp"

namespace vorlane::haltgate {
namespace {

using vorlane::win32::as_u16;
using vorlane::win32::last_system_error_text;
using vorlane::win32::system_error_text;
using vorlane::win32::to_wide;
using vorlane::win32::unique_find;
using vorlane::win32::unique_handle;

// The unlock walk tells links by its own copy of the name-surrogate bit, which must be exactly
// the bit the system tests.
static_assert(IsReparseTagNameSurrogate(~std::uint32_t{0}) == reparse_tag_name_surrogate);

const wchar_t* wide(const std::u16string& path) { return reinterpret_cast<const wchar_t*>(path.c_str()); }

FolderEntry entry_of(const WIN32_FIND_DATAW& data) {
  const bool reparse = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  // A reparse point that reports no tag at all is taken for a link too: following it could
  // walk outside the installation or in a circle.
  const bool link = reparse && (is_name_surrogate(data.dwReserved0) || data.dwReserved0 == 0);
  EntryKind kind = EntryKind::file;
  if (link) {
    kind = EntryKind::link;
  } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    kind = EntryKind::directory;
  }
  return {std::u16string(as_u16(data.cFileName)), kind};
}

class FolderListingWin32 final : public FolderListing {
 public:
  FolderListingWin32(unique_find find, const WIN32_FIND_DATAW& first) : find_(std::move(find)), first_(first) {}

  std::expected<std::optional<FolderEntry>, std::string> next() override {
    if (first_) {
      const FolderEntry entry = entry_of(*first_);
      first_.reset();
      return entry;
    }
    WIN32_FIND_DATAW data{};
    if (!::FindNextFileW(find_.get(), &data)) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_NO_MORE_FILES) {
        return std::nullopt;
      }
      return std::unexpected(system_error_text(error));
    }
    return entry_of(data);
  }

 private:
  unique_find find_;
  std::optional<WIN32_FIND_DATAW> first_;
};

}  // namespace

std::expected<std::u16string, FinalPathFailure> InstallationFilesWin32::final_folder_path(
    const std::string& directory) {
  const unique_handle folder = open_for_query(to_wide(directory));
  if (!folder) {
    const DWORD error = ::GetLastError();
    return std::unexpected(FinalPathFailure{.opened = false, .error = {error, system_error_text(error)}});
  }
  // Flags 0: the normalized name with a drive letter, in the verbatim "\\?\" form.
  const auto final_path = vorlane::win32::call_with_growing_buffer(
      [&](wchar_t* buffer, DWORD units) { return ::GetFinalPathNameByHandleW(folder.get(), buffer, units, 0); },
      static_cast<DWORD>(final_path_initial_units), std::numeric_limits<DWORD>::max());
  if (!final_path) {
    return std::unexpected(
        FinalPathFailure{.opened = true, .error = {final_path.error(), system_error_text(final_path.error())}});
  }
  return std::u16string(as_u16(*final_path));
}

std::expected<std::unique_ptr<FolderListing>, std::string> InstallationFilesWin32::list(const std::u16string& folder) {
  const std::u16string pattern = folder + (folder.ends_with(u'\\') ? u"*" : u"\\*");
  WIN32_FIND_DATAW first{};
  unique_find find(::FindFirstFileW(wide(pattern), &first));
  if (!find) {
    return std::unexpected(last_system_error_text());
  }
  return std::make_unique<FolderListingWin32>(std::move(find), first);
}

std::expected<void, std::string> InstallationFilesWin32::open_exclusive(const std::u16string& path) {
  const unique_handle file(
      ::CreateFileW(wide(path), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) {
    return std::unexpected(last_system_error_text());
  }
  return {};
}

}  // namespace vorlane::haltgate
