#include "src/setup/program_files_win32.hpp"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "src/common/win32/system_error.hpp"
#include "src/common/win32/unique_handle.hpp"
#include "src/common/win32/wide.hpp"

namespace vorlane::setup {
namespace {

void co_task_free(wchar_t* text) noexcept { ::CoTaskMemFree(text); }
using unique_co_task_text =
    vorlane::win32::unique_resource<wchar_t*, co_task_free, vorlane::win32::detail::null_value<wchar_t*>>;

// The system error text of a failed shell call, as for every other folder failure: a wrapped
// Win32 code reads as that code does everywhere else; any other result keeps its own value.
std::string hresult_error_text(HRESULT result) {
  if (HRESULT_FACILITY(result) == FACILITY_WIN32) {
    return vorlane::win32::system_error_text(HRESULT_CODE(result));
  }
  return vorlane::win32::system_error_text(static_cast<DWORD>(result));
}

}  // namespace

std::expected<std::string, std::string> program_files_folder() {
  unique_co_task_text path;
  if (const HRESULT result =
          ::SHGetKnownFolderPath(FOLDERID_ProgramFiles, KF_FLAG_DEFAULT, nullptr, path.put());
      FAILED(result)) {
    return std::unexpected(hresult_error_text(result));
  }
  return vorlane::win32::to_utf8(path.get());
}

}  // namespace vorlane::setup
