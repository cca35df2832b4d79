#include <gtest/gtest.h>

#include "src/input_helper/serve/pipe_name.hpp"

namespace vorlane::serve {
namespace {

struct NameCase {
  const char* name;
  std::optional<std::string> override_name;
  std::uint32_t session;
  std::string pipe;
};
void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }

class ComposePipeName : public ::testing::TestWithParam<NameCase> {};

TEST_P(ComposePipeName, DefaultFromSidAndSessionOrTheOverride) {
  EXPECT_EQ(compose_pipe_name(GetParam().override_name, "S-1-5-21-0-0-0-1000", GetParam().session),
            GetParam().pipe);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ComposePipeName,
    ::testing::Values(
        NameCase{"default", std::nullopt, 1, "\\\\.\\pipe\\vorlane-input-S-1-5-21-0-0-0-1000-1"},
        NameCase{"session_zero", std::nullopt, 0, "\\\\.\\pipe\\vorlane-input-S-1-5-21-0-0-0-1000-0"},
        NameCase{"large_session", std::nullopt, 4294967295u,
                 "\\\\.\\pipe\\vorlane-input-S-1-5-21-0-0-0-1000-4294967295"},
        NameCase{"bare_override", "demo", 1, "\\\\.\\pipe\\demo"},
        NameCase{"override_with_prefix_kept", "\\\\.\\pipe\\x", 1, "\\\\.\\pipe\\x"},
        NameCase{"prefix_alone_kept", "\\\\.\\pipe\\", 1, "\\\\.\\pipe\\"},
        NameCase{"prefix_in_other_case_added_again", "\\\\.\\PIPE\\x", 1, "\\\\.\\pipe\\\\\\.\\PIPE\\x"},
        NameCase{"shorter_than_prefix", "\\\\.\\pip", 1, "\\\\.\\pipe\\\\\\.\\pip"},
        NameCase{"empty_override", "", 1, "\\\\.\\pipe\\"}),
    [](const auto& info) { return std::string(info.param.name); });

struct SddlCase {
  const char* name;
  std::string sid;
  std::string sddl;
};
void PrintTo(const SddlCase& c, std::ostream* os) { *os << c.name; }

class PipeSecurity : public ::testing::TestWithParam<SddlCase> {};

// The user gets read and write but neither WRITE_DAC, WRITE_OWNER nor DELETE; the label bars
// lower integrity levels from writing and from reading.
TEST_P(PipeSecurity, GrantsTheSystemAllAndTheUserOnlyReadAndWriteUnderAMediumLabel) {
  EXPECT_EQ(pipe_security_sddl(GetParam().sid), GetParam().sddl);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PipeSecurity,
    ::testing::Values(
        SddlCase{"domain_user", "S-1-5-21-1-2-3-1001",
                 "D:(A;;GA;;;SY)(A;;0x12019F;;;S-1-5-21-1-2-3-1001)S:(ML;;NWNR;;;ME)"},
        SddlCase{"wine_user", "S-1-5-21-0-0-0-1000",
                 "D:(A;;GA;;;SY)(A;;0x12019F;;;S-1-5-21-0-0-0-1000)S:(ML;;NWNR;;;ME)"}),
    [](const auto& info) { return std::string(info.param.name); });

// The user's mask is exactly FILE_GENERIC_READ | FILE_GENERIC_WRITE, spelled out from their
// documented parts, so a typo in the hexadecimal text cannot pass.
TEST(PipeSecurity, UserMaskIsFileGenericReadAndWriteWithoutOwnershipOrDelete) {
  constexpr std::uint32_t read_control = 0x00020000, synchronize = 0x00100000;
  constexpr std::uint32_t file_generic_read = read_control | synchronize | 0x0001 /*read data*/ |
                                              0x0080 /*read attributes*/ | 0x0008 /*read EA*/;
  constexpr std::uint32_t file_generic_write = read_control | synchronize | 0x0002 /*write data*/ |
                                               0x0100 /*write attributes*/ | 0x0010 /*write EA*/ |
                                               0x0004 /*append data*/;
  constexpr std::uint32_t write_dac = 0x00040000, write_owner = 0x00080000, delete_right = 0x00010000;
  const std::uint32_t mask = std::stoul(std::string(user_pipe_access), nullptr, 16);
  EXPECT_EQ(mask, file_generic_read | file_generic_write);
  EXPECT_EQ(mask & (write_dac | write_owner | delete_right), 0u);
}

struct PrivilegeCase {
  const char* name;
  bool adjusted;
  std::uint32_t last_error;
  std::optional<std::string> system_message;
  std::string error;  // empty: enabled
};
void PrintTo(const PrivilegeCase& c, std::ostream* os) { *os << c.name; }

class PrivilegeAdjustment : public ::testing::TestWithParam<PrivilegeCase> {};

TEST_P(PrivilegeAdjustment, IsEnabledOnlyWhenTheCallSucceedsWithoutALastError) {
  const auto outcome = privilege_adjustment_outcome(GetParam().adjusted, GetParam().last_error,
                                                    GetParam().system_message);
  if (GetParam().error.empty()) {
    EXPECT_TRUE(outcome.has_value()) << outcome.error();
  } else {
    ASSERT_FALSE(outcome.has_value());
    EXPECT_EQ(outcome.error(), GetParam().error);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, PrivilegeAdjustment,
    ::testing::Values(
        PrivilegeCase{"enabled", true, 0, std::nullopt, ""},
        // A helper started without elevation: the call succeeds, but the token lacks the privilege.
        PrivilegeCase{"token_without_the_privilege", true, 1300, "Not all privileges assigned.\r\n",
                      "无法启用 SeSecurityPrivilege（Win32 1300）"},
        PrivilegeCase{"call_failed", false, 5, "Access denied.\r\n",
                      "无法启用 SeSecurityPrivilege：Access denied. (0x80070005)"},
        PrivilegeCase{"call_failed_without_a_system_message", false, 1332, std::nullopt,
                      "无法启用 SeSecurityPrivilege：(0x80070534)"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vorlane::serve
