#include <windows.h>

#include <memory>
#include <utility>

#include <gtest/gtest.h>

#include "src/common/win32/unique_handle.hpp"

namespace vorlane::testing {
namespace {

using win32::unique_handle;

constexpr DWORD callers_error = ERROR_PIPE_BUSY;

HANDLE new_event() { return ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }

// A handle value whose close fails, as when it was closed behind its owner's back.
HANDLE stale_handle() {
  const HANDLE handle = new_event();
  ::CloseHandle(handle);
  return handle;
}

TEST(UniqueHandle, ReleasingKeepsTheLastErrorOnEveryPath) {
  ASSERT_FALSE(::CloseHandle(stale_handle()));  // so each release below sets an error of its own
  ASSERT_EQ(::GetLastError(), DWORD{ERROR_INVALID_HANDLE});
  {
    unique_handle owner(stale_handle());
    ::SetLastError(callers_error);
    owner.reset();
    EXPECT_EQ(::GetLastError(), callers_error) << "reset of a handle whose close fails";
  }
  {
    unique_handle owner(new_event());
    ASSERT_TRUE(owner);
    ::SetLastError(callers_error);
    owner.reset();
    EXPECT_EQ(::GetLastError(), callers_error) << "reset of a live handle";
  }
  {
    unique_handle fresh(new_event());  // made first, so the stale value is not reused for it
    unique_handle owner(stale_handle());
    ::SetLastError(callers_error);
    owner = std::move(fresh);
    EXPECT_EQ(::GetLastError(), callers_error) << "move assignment over a handle";
  }
  {
    unique_handle owner(stale_handle());
    ::SetLastError(callers_error);
    (void)owner.put();
    EXPECT_EQ(::GetLastError(), callers_error) << "put() over a handle";
  }
  {
    auto owner = std::make_unique<unique_handle>(stale_handle());
    ::SetLastError(callers_error);
    owner.reset();
    EXPECT_EQ(::GetLastError(), callers_error) << "destruction";
  }
}

TEST(UniqueHandle, ResetStillClosesTheHandle) {
  unique_handle owner(new_event());
  const HANDLE raw = owner.get();
  owner.reset();
  DWORD flags = 0;
  EXPECT_FALSE(::GetHandleInformation(raw, &flags));
  EXPECT_FALSE(owner);
}

}  // namespace
}  // namespace vorlane::testing
