#include "installer/shutdown-helper/processes_win32.hpp"

#include <windows.h>
#include <psapi.h>

#include <array>
#include <span>
#include <vector>

#include "installer/shutdown-helper/constants.hpp"
#include "installer/shutdown-helper/path_key_win32.hpp"
#include "installer/shutdown-helper/process_ids.hpp"
#include "installer/shutdown-helper/texts.hpp"
#include "src/common/win32/system_error.hpp"
#include "src/common/win32/wide.hpp"

namespace vorlane::haltgate {
namespace {

using vorlane::win32::last_system_error_text;
using vorlane::win32::system_error_text;
using vorlane::win32::to_utf8;
using vorlane::win32::to_wide;
using vorlane::win32::unique_handle;

std::expected<std::vector<std::uint32_t>, std::string> enumerate_process_ids() {
  static_assert(sizeof(DWORD) == sizeof(std::uint32_t));
  return collect_process_ids(
      [](std::span<std::uint32_t> room) -> std::expected<std::size_t, std::string> {
        DWORD filled = 0;
        if (!::EnumProcesses(reinterpret_cast<DWORD*>(room.data()),
                             static_cast<DWORD>(room.size_bytes()), &filled)) {
          return std::unexpected(last_system_error_text());
        }
        return filled;
      });
}

struct TrayWindows {
  DWORD pid = 0;
  HWND tray = nullptr;
  HWND main = nullptr;
};

BOOL CALLBACK match_tray_window(HWND window, LPARAM context) {
  auto& found = *reinterpret_cast<TrayWindows*>(context);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != found.pid) {
    return TRUE;
  }
  std::array<wchar_t, class_name_buffer_units> class_name{};
  const int class_length = ::GetClassNameW(window, class_name.data(), static_cast<int>(class_name.size()));
  if (class_length > 0 && to_utf8(std::wstring_view(class_name.data(), class_length)) == tray_window_class) {
    found.tray = window;
  }
  std::array<wchar_t, window_title_buffer_units> title{};
  const int title_length = ::GetWindowTextW(window, title.data(), static_cast<int>(title.size()));
  if (title_length > 0 && to_utf8(std::wstring_view(title.data(), title_length)) == main_window_title) {
    found.main = window;
  }
  return TRUE;  // the last match wins for each role
}

}  // namespace

std::expected<bool, std::string> ProcessWin32::wait(std::chrono::milliseconds timeout) {
  const DWORD result = ::WaitForSingleObject(handle_.get(), static_cast<DWORD>(timeout.count()));
  if (result == WAIT_OBJECT_0) {
    return true;
  }
  if (result == WAIT_TIMEOUT) {
    return false;
  }
  return std::unexpected(last_system_error_text());
}

std::optional<std::u16string> ProcessWin32::image_path() {
  std::vector<wchar_t> image(image_name_buffer_units);
  DWORD length = static_cast<DWORD>(image.size());
  if (!::QueryFullProcessImageNameW(handle_.get(), 0, image.data(), &length)) {
    return std::nullopt;
  }
  return std::u16string(vorlane::win32::as_u16(std::wstring_view(image.data(), length)));
}

std::expected<std::vector<std::uint32_t>, std::string> ProcessTableWin32::process_ids() {
  return enumerate_process_ids();
}

std::uint32_t ProcessTableWin32::own_pid() { return ::GetCurrentProcessId(); }

std::unique_ptr<ProcessCandidate> ProcessTableWin32::open_process(std::uint32_t pid) {
  unique_handle process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) {
    return nullptr;
  }
  return std::make_unique<ProcessWin32>(std::move(process), pid);
}

std::expected<std::string, std::string> ProcessTableWin32::image_key(std::u16string_view image_path) {
  return path_key_of(std::wstring(reinterpret_cast<const wchar_t*>(image_path.data()), image_path.size()));
}

std::expected<ProcessList, std::string> InstallationProcessesWin32::find_installation_processes(
    const std::string& target_key) {
  return vorlane::haltgate::find_installation_processes(table_, target_key);
}

std::expected<ExitEvent, std::string> InstallationProcessesWin32::signal_exit_event(std::uint32_t pid) {
  const std::wstring name = to_wide(exit_event_name(pid));
  const unique_handle event(::OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str()));
  if (!event) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) {
      return ExitEvent::not_present;
    }
    return std::unexpected(system_error_text(error));
  }
  if (!::SetEvent(event.get())) {
    return std::unexpected(last_system_error_text());
  }
  return ExitEvent::signalled;
}

std::expected<TrayQuit, std::string> InstallationProcessesWin32::post_legacy_tray_quit(std::uint32_t pid) {
  TrayWindows found{.pid = pid};
  ::EnumWindows(match_tray_window, reinterpret_cast<LPARAM>(&found));
  if (found.tray == nullptr) {
    return TrayQuit::no_tray_window;
  }
  if (found.main != nullptr) {
    ::ShowWindowAsync(found.main, SW_RESTORE);
    ::SetWindowPos(found.main, HWND_TOP, 0, 0, 0, 0,
                   SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
  }
  if (!::PostMessageW(found.tray, WM_COMMAND, tray_quit_command, 0)) {
    return std::unexpected(last_system_error_text());
  }
  if (found.main != nullptr) {
    ::PostMessageW(found.main, WM_PAINT, 0, 0);
  }
  return TrayQuit::posted;
}

}  // namespace vorlane::haltgate
