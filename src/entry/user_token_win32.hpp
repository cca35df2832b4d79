#pragma once
// The restricted copy of the process token, put on the calling thread.
#include "src/common/win32/unique_handle.hpp"
#include "src/entry/user_rights.hpp"

namespace vorlane::entry {

// Holds the tokens it makes until it goes; the caller reverts before that.
class UserTokenWin32 final : public UserTokenCalls {
 public:
  bool open_process_token() override;
  bool create_restricted_token() override;
  bool lower_to_medium_integrity() override;
  bool duplicate_for_impersonation() override;
  bool impersonate() override;
  void revert() override;

 private:
  vorlane::win32::unique_handle process_token_;
  vorlane::win32::unique_handle restricted_;
  vorlane::win32::unique_handle impersonation_;
};

}  // namespace vorlane::entry
