#include "src/entry/user_token_win32.hpp"

#include <windows.h>

namespace vorlane::entry {
namespace {

// Room for any SID the system makes.
struct WellKnownSid {
  explicit WellKnownSid(WELL_KNOWN_SID_TYPE type) {
    DWORD size = sizeof bytes;
    made = ::CreateWellKnownSid(type, nullptr, bytes, &size) != 0;
  }
  PSID sid() { return bytes; }
  BYTE bytes[SECURITY_MAX_SID_SIZE]{};
  bool made = false;
};

}  // namespace

bool UserTokenWin32::open_process_token() {
  // The restricted copy keeps this handle's rights: enough to lower it and to duplicate it.
  return ::OpenProcessToken(::GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ADJUST_DEFAULT,
                            process_token_.put()) != 0;
}

bool UserTokenWin32::create_restricted_token() {
  WellKnownSid administrators(WinBuiltinAdministratorsSid);
  if (!administrators.made) return false;
  SID_AND_ATTRIBUTES deny_only{administrators.sid(), 0};
  return ::CreateRestrictedToken(process_token_.get(), DISABLE_MAX_PRIVILEGE, 1, &deny_only, 0,
                                 nullptr, 0, nullptr, restricted_.put()) != 0;
}

bool UserTokenWin32::lower_to_medium_integrity() {
  WellKnownSid medium(WinMediumLabelSid);
  if (!medium.made) return false;
  TOKEN_MANDATORY_LABEL label{};
  label.Label.Sid = medium.sid();
  label.Label.Attributes = SE_GROUP_INTEGRITY;
  return ::SetTokenInformation(restricted_.get(), TokenIntegrityLevel, &label,
                               sizeof label + ::GetLengthSid(medium.sid())) != 0;
}

bool UserTokenWin32::duplicate_for_impersonation() {
  return ::DuplicateTokenEx(restricted_.get(), TOKEN_IMPERSONATE | TOKEN_QUERY, nullptr,
                            SecurityImpersonation, TokenImpersonation, impersonation_.put()) != 0;
}

bool UserTokenWin32::impersonate() { return ::SetThreadToken(nullptr, impersonation_.get()) != 0; }

// Should it ever fail, the thread only stays more restricted; the run ends after its outcome.
void UserTokenWin32::revert() { (void)::RevertToSelf(); }

}  // namespace vorlane::entry
