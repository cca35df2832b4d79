// The system queries against what Wine reports for this process and for ids that name nothing.
#include <windows.h>

#include <gtest/gtest.h>

#include "src/common/win32/unique_handle.hpp"
#include "src/common/win32/wide.hpp"
#include "src/system/queries_win32.hpp"

namespace vorlane::testing {
namespace {

// Ids are multiples of four; this one is far above anything a test prefix hands out.
constexpr DWORD no_such_pid = 0x7FFFFFF0;

std::string own_module_path() {
  wchar_t buffer[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  return win32::to_utf8(std::wstring_view(buffer, n));
}

TEST(Queries, DescribeTheOwnProcess) {
  const auto sid = system::current_user_sid();
  ASSERT_TRUE(sid.has_value());
  EXPECT_TRUE(sid->starts_with("S-1-5-21-")) << *sid;
  EXPECT_EQ(system::session_of_process(::GetCurrentProcessId()), 1u);
  EXPECT_EQ(system::process_elevation(::GetCurrentProcess()), system::Elevation::elevated);
  EXPECT_EQ(system::pid_elevation(::GetCurrentProcessId()), system::Elevation::elevated);
  EXPECT_EQ(system::input_desktop_name(), "Default");
  const auto image = system::process_image_path(::GetCurrentProcessId(), 1024);
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(ascii_lower(*image), ascii_lower(own_module_path()));
}

TEST(Queries, ImagePathThatDoesNotFitIsAbsent) {
  const std::size_t length = own_module_path().size();
  const auto fits = static_cast<DWORD>(length + 1);
  EXPECT_TRUE(system::process_image_path(::GetCurrentProcessId(), fits).has_value());
  EXPECT_FALSE(system::process_image_path(::GetCurrentProcessId(), fits - 2).has_value());
  EXPECT_FALSE(system::process_image_path(::GetCurrentProcessId(), 0).has_value());
}

TEST(Queries, IdsThatNameNoProcessGiveAbsentOrUnknown) {
  for (const DWORD pid : {DWORD{0}, no_such_pid}) {
    EXPECT_FALSE(system::process_image_path(pid, 1024).has_value()) << pid;
    EXPECT_EQ(system::pid_elevation(pid), system::Elevation::unknown) << pid;
    EXPECT_FALSE(system::session_of_process(pid).has_value()) << pid;
  }
  EXPECT_EQ(system::process_elevation(nullptr), system::Elevation::unknown);
}

}  // namespace
}  // namespace vorlane::testing
