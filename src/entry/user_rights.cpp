#include "src/entry/user_rights.hpp"

namespace vorlane::entry {
namespace {

// Reverts when it goes, whichever way the write ends.
class Impersonation {
 public:
  explicit Impersonation(UserTokenCalls& calls) : calls_(calls) {}
  Impersonation(const Impersonation&) = delete;
  Impersonation& operator=(const Impersonation&) = delete;
  ~Impersonation() { calls_.revert(); }

 private:
  UserTokenCalls& calls_;
};

}  // namespace

FileWrite write_as_user(UserTokenCalls& calls, const std::function<FileWrite()>& write) {
  // Writing with the process's own rights instead would be what the restriction is there to
  // prevent.
  if (!calls.open_process_token() || !calls.create_restricted_token() ||
      !calls.lower_to_medium_integrity() || !calls.duplicate_for_impersonation() ||
      !calls.impersonate()) {
    return FileWrite::refused;
  }
  const Impersonation as_user(calls);
  return write();
}

}  // namespace vorlane::entry
