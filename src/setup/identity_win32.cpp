#include "src/setup/identity_win32.hpp"

#include <windows.h>

#include "src/system/queries_win32.hpp"

namespace vorlane::setup {

std::optional<std::string> UserIdentityWin32::current_user_sid() {
  return system::current_user_sid();
}

std::uint32_t UserIdentityWin32::process_id() { return ::GetCurrentProcessId(); }

}  // namespace vorlane::setup
