#include <gtest/gtest.h>

#include "src/common/win32/system_error.hpp"
#include "tests/support/win_process.hpp"

namespace vorlane::testing {
namespace {

TEST(SystemErrorText, UsesTheSystemMessageTable) {
  EXPECT_EQ(win32::system_error_text(ERROR_ACCESS_DENIED), "Access denied. (os error 5)");
  EXPECT_EQ(win32::windows_error_text(ERROR_PIPE_BUSY), "Pipe busy. (0x800700E7)");
  EXPECT_EQ(win32::windows_error_text(12345), "(0x80073039)");
}

TEST(TestSupport, ChildSeesTheEnvironmentGivenFromTheWindowsSide) {
  const auto result = testing::run(L"C:\\windows\\system32\\cmd.exe", {L"/c", L"echo %LOCALAPPDATA%"},
                                   {{L"LOCALAPPDATA", L"C:\\elsewhere"}});
  EXPECT_EQ(result.exit_code, 0u);
  EXPECT_NE(result.out.find("C:\\elsewhere"), std::string::npos) << result.out;
}

}  // namespace
}  // namespace vorlane::testing
