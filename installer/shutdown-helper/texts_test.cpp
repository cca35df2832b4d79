#include <array>

#include <gtest/gtest.h>

#include "installer/shutdown-helper/texts.hpp"

namespace vorlane::haltgate {
namespace {

TEST(LogLine, MillisecondsSpaceTextLineFeed) {
  EXPECT_EQ(format_log_line(1700000000123, "begin install_dir=C:\\App"),
            "1700000000123 begin install_dir=C:\\App\n");
  EXPECT_EQ(format_log_line(0, "x"), "0 x\n");
  EXPECT_EQ(format_log_line(-5, "before 1970"), "0 before 1970\n");
}

TEST(LogLine, LineBreaksInsideTheTextCannotStartLinesOfTheirOwn) {
  // A folder name given on the command line is logged as received, apart from line breaks.
  const std::string replaced = "\xEF\xBF\xBD";  // U+FFFD
  EXPECT_EQ(format_log_line(5, "begin install_dir=C:\\App\n1 success: forged"),
            "5 begin install_dir=C:\\App" + replaced + "1 success: forged\n");
  EXPECT_EQ(format_log_line(5, "a\r\nb\rc\n"),
            "5 a" + replaced + replaced + "b" + replaced + "c" + replaced + "\n");
  EXPECT_EQ(format_log_line(5, "tab\tand \xCE\xA3 kept"), "5 tab\tand \xCE\xA3 kept\n");
}

TEST(ExitEventName, EndsInDecimalPid) {
  EXPECT_EQ(exit_event_name(4242), "Local\\Vorlane.InstallerExit.v1.4242");
  EXPECT_EQ(exit_event_name(4294967295u), "Local\\Vorlane.InstallerExit.v1.4294967295");
}

TEST(Sha256Status, EightLowerCaseDigitsOfTheBitPattern) {
  EXPECT_EQ(sha256_status_text(static_cast<std::int32_t>(0xC0000002u)), "SHA256 status 0xc0000002");
  EXPECT_EQ(sha256_status_text(-1), "SHA256 status 0xffffffff");
  EXPECT_EQ(sha256_status_text(0x2A), "SHA256 status 0x0000002a");
}

TEST(HexDigest, TwoLowerCaseDigitsPerByte) {
  const std::array<std::uint8_t, 4> bytes{0x00, 0x0F, 0xA0, 0xFF};
  EXPECT_EQ(hex_digest(bytes), "000fa0ff");
}

TEST(UnlockErrorText, PathThenSystemError) {
  EXPECT_EQ(unlock_error_text(R"(C:\App\a\b\Tool.DLL)", "Sharing violation. (os error 32)"),
            R"(C:\App\a\b\Tool.DLL is still in use or not writable: Sharing violation. (os error 32))");
}

struct NameCase {
  const char* name;
  bool executable;
};
void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }

class ExecutableExtension : public ::testing::TestWithParam<NameCase> {};

TEST_P(ExecutableExtension, TakesTextAfterLastDotIgnoringAsciiCase) {
  EXPECT_EQ(is_executable_name(GetParam().name), GetParam().executable) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExecutableExtension,
    ::testing::Values(NameCase{"Vorlane.exe", true}, NameCase{"Tool.DLL", true},
                      NameCase{"addon.Node", true}, NameCase{".exe", false},
                      NameCase{".dll", false}, NameCase{"..exe", true}, NameCase{".a.exe", true},
                      NameCase{"a.exe.bak", false}, NameCase{"a.exe.", false},
                      NameCase{"exe", false}, NameCase{"settings.json", false},
                      NameCase{"resources.pak", false}, NameCase{"a.exex", false},
                      NameCase{"a.ex", false}));

TEST(NameSurrogate, OnlyTheNameSurrogateBitCounts) {
  EXPECT_TRUE(is_name_surrogate(0xA000000Cu));   // symbolic link
  EXPECT_TRUE(is_name_surrogate(0xA0000003u));   // junction
  EXPECT_FALSE(is_name_surrogate(0x80000017u));  // a file-system filter tag, not a link
  EXPECT_FALSE(is_name_surrogate(0));
}

}  // namespace
}  // namespace vorlane::haltgate
