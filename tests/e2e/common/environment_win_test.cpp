#include <windows.h>

#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "src/common/win32/environment.hpp"

namespace vorlane::testing {
namespace {

using win32::environment_variable;

// Sets one variable for the length of a test, and removes it afterwards.
class Variable : public ::testing::Test {
 protected:
  static constexpr const wchar_t* name = L"VORLANE_ENVIRONMENT_TEST";
  void SetUp() override {
    ASSERT_TRUE(::SetEnvironmentVariableW(name, nullptr) || ::GetLastError() == ERROR_ENVVAR_NOT_FOUND);
  }
  void TearDown() override { ::SetEnvironmentVariableW(name, nullptr); }
  void set(const std::wstring& value) { ASSERT_TRUE(::SetEnvironmentVariableW(name, value.c_str())); }
};

TEST_F(Variable, ValuesShortEmptyAndAsLongAsAVariableCanBe) {
  const std::wstring values[] = {L"C:\\Users\\a\\AppData\\Local", L"\u4E2D\u6587 \U0001F600", L"",
                                 std::wstring(255, L'v'), std::wstring(256, L'v'), std::wstring(5000, L'w'),
                                 std::wstring(32766, L'm')};
  for (const std::wstring& value : values) {
    SCOPED_TRACE(value.size());
    set(value);
    const auto read = environment_variable(name);
    ASSERT_TRUE(read.has_value());
    EXPECT_TRUE(*read == value) << "read " << read->size() << " units";
  }
}

TEST_F(Variable, AnUnsetVariableIsAbsent) {
  EXPECT_EQ(environment_variable(name), std::nullopt);
  set(L"x");
  ASSERT_TRUE(environment_variable(name).has_value());
  ASSERT_TRUE(::SetEnvironmentVariableW(name, nullptr));
  EXPECT_EQ(environment_variable(name), std::nullopt);
}

}  // namespace
}  // namespace vorlane::testing
