#pragma once
// Writing the run outcome with no more than the rights of the user who started the run: its
// folder comes from the user's environment, which the user's programs can point anywhere.
#include <functional>

#include "src/entry/entry.hpp"

namespace vorlane::entry {

// The calls that put a restricted copy of the process token on this thread, in the order they
// are made; each says whether it succeeded. The copy has every privilege removed, the
// Administrators group for denying only, and medium integrity.
class UserTokenCalls {
 public:
  virtual ~UserTokenCalls() = default;
  [[nodiscard]] virtual bool open_process_token() = 0;
  [[nodiscard]] virtual bool create_restricted_token() = 0;
  [[nodiscard]] virtual bool lower_to_medium_integrity() = 0;
  [[nodiscard]] virtual bool duplicate_for_impersonation() = 0;
  [[nodiscard]] virtual bool impersonate() = 0;
  // Back to the process's own token.
  virtual void revert() = 0;
};

// Runs `write` while the thread impersonates that copy, and reverts on every way out. When the
// copy cannot be made or put on the thread, nothing is written: refused.
[[nodiscard]] FileWrite write_as_user(UserTokenCalls& calls, const std::function<FileWrite()>& write);

}  // namespace vorlane::entry
