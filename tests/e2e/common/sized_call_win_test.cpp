#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "src/common/win32/sized_call.hpp"

namespace vorlane::testing {
namespace {

using win32::call_with_growing_buffer;

// A system function stand-in that writes `value` when it fits, answers too small in the form
// given, and records the buffer sizes it was offered.
struct ScriptedCall {
  enum class TooSmall { size_needed, truncates };
  ScriptedCall(std::wstring v, TooSmall f) : value(std::move(v)), form(f) {}

  std::wstring value;
  TooSmall form;
  std::vector<DWORD> offered;

  DWORD operator()(wchar_t* buffer, DWORD units) {
    offered.push_back(units);
    const DWORD needed = static_cast<DWORD>(value.size()) + 1;
    if (needed <= units) {
      value.copy(buffer, value.size());
      buffer[value.size()] = L'\0';
      return needed - 1;
    }
    if (form == TooSmall::size_needed) return needed;
    value.copy(buffer, units - 1);  // truncated, terminated, and the error set
    buffer[units - 1] = L'\0';
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return units;
  }
};

TEST(CallWithGrowingBuffer, TooSmallOnceThenFitsInEitherForm) {
  ScriptedCall needs(std::wstring(300, L'x'), ScriptedCall::TooSmall::size_needed);
  auto result = call_with_growing_buffer(std::ref(needs), 260);
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(*result, needs.value);
  EXPECT_EQ(needs.offered, (std::vector<DWORD>{260, 301}));  // grows to exactly the size asked for

  ScriptedCall truncates(std::wstring(300, L'y'), ScriptedCall::TooSmall::truncates);
  result = call_with_growing_buffer(std::ref(truncates), 260);
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(*result, truncates.value);
  EXPECT_EQ(truncates.offered, (std::vector<DWORD>{260, 520}));
}

TEST(CallWithGrowingBuffer, AValueThatExactlyFillsTheBufferIsTooSmallForItsTerminator) {
  ScriptedCall truncates(std::wstring(8, L'z'), ScriptedCall::TooSmall::truncates);
  const auto result = call_with_growing_buffer(std::ref(truncates), 8);
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(*result, truncates.value);
  EXPECT_EQ(truncates.offered, (std::vector<DWORD>{8, 16}));
}

TEST(CallWithGrowingBuffer, AFailureCarriesItsErrorAndAnEmptyAnswerIsNotOne) {
  const auto failed = call_with_growing_buffer(
      [](wchar_t*, DWORD) -> DWORD {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return 0;
      },
      16);
  ASSERT_FALSE(failed.has_value());
  EXPECT_EQ(failed.error(), DWORD{ERROR_ACCESS_DENIED});

  ::SetLastError(ERROR_FILE_NOT_FOUND);  // left over from an earlier call; must not count
  const auto empty = call_with_growing_buffer([](wchar_t*, DWORD) -> DWORD { return 0; }, 16);
  ASSERT_TRUE(empty.has_value());
  EXPECT_EQ(*empty, L"");
}

TEST(CallWithGrowingBuffer, StopsAtTheLimitInEitherForm) {
  ScriptedCall truncates(std::wstring(5000, L'a'), ScriptedCall::TooSmall::truncates);
  auto result = call_with_growing_buffer(std::ref(truncates), 100, 1000);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error(), DWORD{ERROR_INSUFFICIENT_BUFFER});
  EXPECT_EQ(truncates.offered, (std::vector<DWORD>{100, 200, 400, 800, 1000}));  // the limit is tried last

  ScriptedCall needs(std::wstring(1000, L'b'), ScriptedCall::TooSmall::size_needed);
  result = call_with_growing_buffer(std::ref(needs), 100, 1000);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error(), DWORD{ERROR_INSUFFICIENT_BUFFER});
  EXPECT_EQ(needs.offered, (std::vector<DWORD>{100}));  // 1001 is over the limit: not tried

  ScriptedCall fits_at_limit(std::wstring(999, L'c'), ScriptedCall::TooSmall::size_needed);
  result = call_with_growing_buffer(std::ref(fits_at_limit), 100, 1000);
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->size(), 999u);
}

TEST(CallWithGrowingBuffer, ReadsTheOwnProgramPathFromASmallStart) {
  wchar_t whole[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, whole, MAX_PATH);
  ASSERT_GT(length, 2u);
  const auto path = call_with_growing_buffer(
      [](wchar_t* buffer, DWORD units) { return ::GetModuleFileNameW(nullptr, buffer, units); }, 2);
  ASSERT_TRUE(path.has_value());
  EXPECT_EQ(*path, std::wstring(whole, length));
}

}  // namespace
}  // namespace vorlane::testing
