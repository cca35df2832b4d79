#include "src/input_helper/serve/system_queries_win32.hpp"

#include "src/system/queries_win32.hpp"

namespace vorlane::serve {

std::optional<std::string> ClientProcessWin32::image_path(std::uint32_t capacity) {
  return system::process_image_path(process_.get(), static_cast<DWORD>(capacity));
}

bool ClientProcessWin32::running() { return ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

std::optional<std::string> SystemQueriesWin32::current_user_sid() { return system::current_user_sid(); }

std::uint32_t SystemQueriesWin32::own_pid() { return ::GetCurrentProcessId(); }

std::optional<std::uint32_t> SystemQueriesWin32::session_of_process(std::uint32_t pid) {
  return system::session_of_process(static_cast<DWORD>(pid));
}

std::optional<std::string> SystemQueriesWin32::input_desktop_name() { return system::input_desktop_name(); }

std::unique_ptr<ClientProcess> SystemQueriesWin32::open_client(std::uint32_t pid) {
  win32::unique_handle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, pid));
  if (!process) return nullptr;
  return std::make_unique<ClientProcessWin32>(std::move(process));
}

}  // namespace vorlane::serve
