#include "src/system/queries_win32.hpp"

#include <sddl.h>

#include <vector>

#include "src/common/win32/unique_handle.hpp"
#include "src/common/win32/wide.hpp"

namespace vorlane::system {
namespace {

constexpr DWORD token_user_buffer_bytes = 512;
constexpr DWORD desktop_name_buffer_bytes = 256;

void close_desktop(HDESK desktop) noexcept { ::CloseDesktop(desktop); }
using unique_desktop = win32::unique_resource<HDESK, close_desktop, win32::detail::null_value<HDESK>>;

}  // namespace

std::optional<std::string> current_user_sid() {
  win32::unique_handle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return std::nullopt;
  alignas(TOKEN_USER) unsigned char buffer[token_user_buffer_bytes] = {};
  DWORD needed = 0;
  const BOOL read = ::GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &needed);
  token.reset();
  if (!read) return std::nullopt;
  win32::unique_hlocal text_owner;
  LPWSTR text = nullptr;
  if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
    return std::nullopt;
  }
  text_owner.reset(text);
  return win32::to_utf8_strict(text);
}

Elevation process_elevation(HANDLE process) {
  win32::unique_handle token;
  if (!::OpenProcessToken(process, TOKEN_QUERY, token.put())) return Elevation::unknown;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  if (!::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size)) {
    return Elevation::unknown;
  }
  return elevation.TokenIsElevated != 0 ? Elevation::elevated : Elevation::not_elevated;
}

Elevation OwnElevationWin32::own_elevation() { return process_elevation(::GetCurrentProcess()); }

Elevation pid_elevation(DWORD pid) {
  const win32::unique_handle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return Elevation::unknown;
  return process_elevation(process.get());
}

std::optional<std::uint32_t> session_of_process(DWORD pid) {
  DWORD session = 0;
  if (!::ProcessIdToSessionId(pid, &session)) return std::nullopt;
  return session;
}

std::optional<std::string> process_image_path(DWORD pid, DWORD capacity) {
  const win32::unique_handle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return std::nullopt;
  return process_image_path(process.get(), capacity);
}

std::optional<std::string> process_image_path(HANDLE process, DWORD capacity) {
  std::vector<wchar_t> buffer(capacity, L'\0');
  DWORD length = capacity;
  if (capacity == 0 || !::QueryFullProcessImageNameW(process, 0, buffer.data(), &length)) {
    return std::nullopt;
  }
  return win32::to_utf8(std::wstring_view(buffer.data(), length < capacity ? length : capacity));
}

std::optional<std::string> input_desktop_name() {
  const unique_desktop desktop(::OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS));
  if (!desktop) return std::nullopt;
  wchar_t name[desktop_name_buffer_bytes / sizeof(wchar_t)] = {};
  DWORD needed = 0;
  if (!::GetUserObjectInformationW(desktop.get(), UOI_NAME, name, desktop_name_buffer_bytes,
                                   &needed)) {
    return std::nullopt;
  }
  std::wstring_view units(name, std::size(name));
  if (const auto end = units.find(L'\0'); end != std::wstring_view::npos) units = units.substr(0, end);
  return win32::to_utf8(units);
}

}  // namespace vorlane::system
