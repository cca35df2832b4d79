// Probe: Keyward writes its run outcome file as the user, not with its elevated rights, so an
// elevated run cannot be steered into writing where only administrators may. LOCALAPPDATA
// names a folder only the system and administrators may write; the run outcome must not land
// there.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include "tests/probes/probe.hpp"
#include "tests/support/win_process.hpp"

namespace vorlane::testing {
namespace {

// A folder that only SYSTEM and Administrators may write, its children inheriting that.
bool make_admin_only_folder(const std::wstring& path, std::string& error) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
          L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", SDDL_REVISION_1, &descriptor, nullptr)) {
    error = "descriptor " + std::to_string(::GetLastError());
    return false;
  }
  const win32::unique_hlocal owned(descriptor);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  if (!::CreateDirectoryW(path.c_str(), &attributes)) {
    error = "CreateDirectoryW " + std::to_string(::GetLastError());
    return false;
  }
  return true;
}

// Creates a file while impersonating `token`; 0 or the error code.
DWORD create_as(HANDLE token, const std::wstring& path) {
  if (!::SetThreadToken(nullptr, token)) return ::GetLastError();
  win32::unique_handle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
  const DWORD error = file ? 0 : ::GetLastError();
  ::RevertToSelf();
  return error;
}

TEST(OutcomeFile, TheWriteIntoAFolderOnlyAdministratorsMayWriteIsRefused) {
  if (!elevated()) GTEST_SKIP() << "needs an elevated run: unelevated, the write is refused anyway";
  TempDir root;
  const std::wstring local = root / L"admin-only";
  std::string error;
  ASSERT_TRUE(make_admin_only_folder(local, error)) << error;

  // Whether the system checks file rights against an impersonated token at all.
  const auto token = user_impersonation_token(SECURITY_MANDATORY_MEDIUM_RID, error);
  ASSERT_TRUE(token) << error;
  const DWORD control = create_as(token.get(), local + L"\\control.txt");
  VORLANE_PROBE_REQUIRE(control == ERROR_ACCESS_DENIED,
                        "file rights are not checked against tokens: the user's restricted token "
                        "created a file in a folder only administrators may write");

  // The folder Keyward puts its outcome in exists already, with the same rights.
  create_directories(local + L"\\Vorlane");
  // Without arguments Keyward only writes its outcome (usage) and ends.
  const RunResult result = run(bin_path(L"Keyward.exe"), {}, {{L"LOCALAPPDATA", local}});
  const std::wstring outcome = local + L"\\Vorlane\\input-helper-setup.json";
  ::testing::Test::RecordProperty(
      "observed", "exit code " + std::to_string(result.exit_code) +
                      (file_exists(outcome) ? ", outcome written" : ", no outcome written"));
  EXPECT_FALSE(file_exists(outcome)) << "the elevated run wrote its outcome where the user may not";
}

}  // namespace
}  // namespace vorlane::testing
