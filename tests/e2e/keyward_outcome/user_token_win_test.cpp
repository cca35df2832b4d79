// The restricted user token the run outcome is written with, as the system reads it back from
// the thread. Wine does not check file rights against tokens, so this shows the token and the
// revert, not a refusal. Wine 8 also keeps the privileges and reads the integrity level back
// unchanged (high); that the copy has neither is for a Windows host to show.
#include <windows.h>

#include <vector>

#include <gtest/gtest.h>

#include "src/entry/user_token_win32.hpp"
#include "tests/support/win_process.hpp"

namespace vorlane::testing {
namespace {

using entry::FileWrite;

std::vector<BYTE> token_information(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
  DWORD size = 0;
  ::GetTokenInformation(token, kind, nullptr, 0, &size);
  std::vector<BYTE> bytes(size);
  if (size == 0 || !::GetTokenInformation(token, kind, bytes.data(), size, &size)) bytes.clear();
  return bytes;
}

// What the thread's own token says, read while the write runs.
struct ThreadToken {
  bool present = false;
  DWORD administrators = 0xFFFFFFFF;  // the group's attributes; all bits set when not listed
  TOKEN_TYPE type = TokenPrimary;
};

ThreadToken read_thread_token() {
  ThreadToken seen;
  win32::unique_handle token;
  if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, token.put())) return seen;
  seen.present = true;

  BYTE administrators[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof administrators;
  EXPECT_TRUE(::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size));
  auto groups_bytes = token_information(token.get(), TokenGroups);
  if (!groups_bytes.empty()) {
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(groups_bytes.data());
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
      if (::EqualSid(groups->Groups[i].Sid, administrators)) seen.administrators = groups->Groups[i].Attributes;
    }
  }
  DWORD size_read = 0;
  ::GetTokenInformation(token.get(), TokenType, &seen.type, sizeof seen.type, &size_read);
  return seen;
}

bool thread_has_token() {
  win32::unique_handle token;
  return ::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, token.put()) != 0;
}

// Whatever the write gives, it ran as the restricted user, and the thread is itself again after.
class UserToken : public ::testing::TestWithParam<FileWrite> {};

TEST_P(UserToken, TheWriteRunsAsTheRestrictedUserAndTheThreadRevertsAfterwards) {
  ASSERT_FALSE(thread_has_token());
  TempDir folder;
  const std::wstring file = folder / L"input-helper-setup.json";
  ThreadToken seen;
  entry::UserTokenWin32 user_token;
  const FileWrite result = entry::write_as_user(user_token, [&] {
    seen = read_thread_token();
    return write_file(file, "{}") ? GetParam() : FileWrite::failed;
  });

  EXPECT_EQ(result, GetParam());
  ASSERT_TRUE(seen.present) << "the write ran with the process's own token";
  EXPECT_EQ(seen.administrators & (SE_GROUP_USE_FOR_DENY_ONLY | SE_GROUP_ENABLED), DWORD{SE_GROUP_USE_FOR_DENY_ONLY})
      << "Administrators attributes 0x" << std::hex << seen.administrators;
  EXPECT_EQ(seen.type, TokenImpersonation);
  EXPECT_EQ(read_file(file), "{}");
  EXPECT_FALSE(thread_has_token()) << "the thread still impersonates";
}

INSTANTIATE_TEST_SUITE_P(Results, UserToken,
                         ::testing::Values(FileWrite::written, FileWrite::failed, FileWrite::refused));

}  // namespace
}  // namespace vorlane::testing
