#include <gtest/gtest.h>

#include "src/common/error_text.hpp"

namespace vorlane {
namespace {

TEST(ErrorText, SystemFormDropsTheLineBreak) {
  EXPECT_EQ(system_error_text("Access denied.\r\n", 5), "Access denied. (os error 5)");
  EXPECT_EQ(system_error_text("", 12345), "(os error 12345)");
}

TEST(ErrorText, WindowsFormShowsTheCodeAsHresult) {
  EXPECT_EQ(windows_error_text("Pipe busy. \r\n", 231), "Pipe busy. (0x800700E7)");
  EXPECT_EQ(windows_error_text(std::nullopt, 12345), "(0x80073039)");
  EXPECT_EQ(windows_error_text(std::nullopt, 0x12345), "(0x80072345)");
}

TEST(ErrorText, PlainCodeUsesFullWidthParentheses) {
  EXPECT_EQ(win32_code_text(1300), "（Win32 1300）");
}

}  // namespace
}  // namespace vorlane
