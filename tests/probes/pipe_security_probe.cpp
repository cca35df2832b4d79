// Probe: the served pipe's descriptor, as Windows enforces it, refuses the user's other
// programs what the descriptor withholds. The pipe is made here with the descriptor Keyward
// serves with; the second program runs as an unelevated program of the same user does.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include "src/common/win32/wide.hpp"
#include "src/input_helper/serve/pipe_name.hpp"
#include "src/system/queries_win32.hpp"
#include "tests/probes/probe.hpp"
#include "tests/support/win_process.hpp"

namespace vorlane::testing {
namespace {

// One listening instance of a pipe with the given descriptor, under a name of its own.
class ProbePipe {
 public:
  explicit ProbePipe(const std::string& sddl) {
    static unsigned count = 0;
    name_ = L"\\\\.\\pipe\\vorlane-probe-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
            std::to_wstring(count++);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(win32::to_wide(sddl).c_str(),
                                                                SDDL_REVISION_1, &descriptor, nullptr)) {
      error_ = "the descriptor does not convert: " + std::to_string(::GetLastError());
      return;
    }
    const win32::unique_hlocal owned(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    pipe_.reset(::CreateNamedPipeW(name_.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT,
                                   PIPE_UNLIMITED_INSTANCES, 65536, 65536, 0, &attributes));
    if (!pipe_) error_ = "CreateNamedPipeW " + std::to_string(::GetLastError());
  }
  const std::wstring& name() const { return name_; }
  const std::string& error() const { return error_; }

 private:
  std::wstring name_;
  std::string error_;
  win32::unique_handle pipe_;
};

// What the second program's open came to: 0, or its error code.
std::optional<DWORD> open_as_user(DWORD integrity_rid, const std::wstring& pipe, DWORD access,
                                  std::string& error) {
  const auto token = user_token(integrity_rid, error);
  if (!token) return std::nullopt;
  wchar_t hex[16];
  swprintf(hex, 16, L"%lx", access);
  return run_with_token(token.get(), bin_path(L"probe_helper.exe"), {L"open", pipe, hex}, error);
}

class PipeSecurity : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(sid.empty()) << "the user's SID could not be read";
  }
  std::string sid = system::current_user_sid().value_or("");
};

TEST_F(PipeSecurity, ASecondProgramOfTheUserIsRefusedWriteDac) {
  // Whether pipe DACLs are enforced at all: a pipe only the system may open.
  ProbePipe closed("D:(A;;GA;;;SY)");
  ASSERT_TRUE(closed.error().empty()) << closed.error();
  std::string error;
  const auto control = open_as_user(SECURITY_MANDATORY_MEDIUM_RID, closed.name(), GENERIC_READ, error);
  ASSERT_TRUE(control) << error;
  VORLANE_PROBE_REQUIRE(*control == ERROR_ACCESS_DENIED,
                        "pipe DACLs are not enforced: a pipe only SYSTEM may open opened for the user");

  const std::string sddl = serve::pipe_security_sddl(sid);
  ProbePipe served(sddl);
  ASSERT_TRUE(served.error().empty()) << served.error();
  const auto result = open_as_user(SECURITY_MANDATORY_MEDIUM_RID, served.name(), WRITE_DAC, error);
  ASSERT_TRUE(result) << error;
  ::testing::Test::RecordProperty("observed", "WRITE_DAC open gave " + std::to_string(*result));
  EXPECT_EQ(*result, DWORD{ERROR_ACCESS_DENIED}) << "descriptor " << sddl;
}

TEST_F(PipeSecurity, ALowIntegrityProgramCannotWrite) {
  // Whether labels are enforced at all: no-write-up at medium against a low-integrity writer.
  ProbePipe labelled("D:(A;;GA;;;SY)(A;;GA;;;" + sid + ")S:(ML;;NWNRNX;;;ME)");
  ASSERT_TRUE(labelled.error().empty()) << labelled.error();
  std::string error;
  const auto control = open_as_user(SECURITY_MANDATORY_LOW_RID, labelled.name(), GENERIC_WRITE, error);
  ASSERT_TRUE(control) << error;
  VORLANE_PROBE_REQUIRE(*control == ERROR_ACCESS_DENIED,
                        "integrity labels are not enforced on pipes: a low-integrity program "
                        "wrote to a medium no-write-up pipe");

  const std::string sddl = serve::pipe_security_sddl(sid);
  ProbePipe served(sddl);
  ASSERT_TRUE(served.error().empty()) << served.error();
  const auto result = open_as_user(SECURITY_MANDATORY_LOW_RID, served.name(), GENERIC_WRITE, error);
  ASSERT_TRUE(result) << error;
  ::testing::Test::RecordProperty("observed", "low-integrity write open gave " + std::to_string(*result));
  EXPECT_EQ(*result, DWORD{ERROR_ACCESS_DENIED}) << "descriptor " << sddl;
}

}  // namespace
}  // namespace vorlane::testing
