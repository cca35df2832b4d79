#include <gtest/gtest.h>

#include "src/setup/record.hpp"

namespace vorlane::setup {
namespace {

HelperRecord sample() {
  HelperRecord record;
  record.version = "0.1.0";
  record.user_sid = "S-1-5-21-0-0-0-1000";
  record.gui_path = "C:\\Program Files\\Vorlane 测试\\\"q\"\\Vorlane.exe";
  record.task_name = "Keyward (S-1-5-21-0-0-0-1000)";
  record.installed_at = 1765350000;
  return record;
}

TEST(RecordWriter, WritesTheSevenMembersInOrderWithoutFinalLineBreak) {
  const auto bytes = serialize_record(sample());
  ASSERT_TRUE(bytes) << bytes.error();
  EXPECT_EQ(*bytes,
            "{\n"
            "  \"schema\": 1,\n"
            "  \"protocol\": 1,\n"
            "  \"version\": \"0.1.0\",\n"
            "  \"userSid\": \"S-1-5-21-0-0-0-1000\",\n"
            "  \"guiPath\": \"C:\\\\Program Files\\\\Vorlane 测试\\\\\\\"q\\\"\\\\Vorlane.exe\",\n"
            "  \"taskName\": \"Keyward (S-1-5-21-0-0-0-1000)\",\n"
            "  \"installedAt\": 1765350000\n"
            "}");
}

TEST(RecordWriter, RefusesTextThatIsNotUtf8) {
  HelperRecord record = sample();
  record.gui_path = "C:\\\xff\\Vorlane.exe";
  EXPECT_FALSE(serialize_record(record));
}

TEST(RecordReader, ReadsBackWhatTheWriterWrote) {
  HelperRecord record = sample();
  record.installed_at = 18446744073709551615ull;
  const auto parsed = parse_record(serialize_record(record).value());
  ASSERT_TRUE(parsed) << parsed.error();
  EXPECT_EQ(parsed->schema, 1u);
  EXPECT_EQ(parsed->protocol, 1u);
  EXPECT_EQ(parsed->version, record.version);
  EXPECT_EQ(parsed->user_sid, record.user_sid);
  EXPECT_EQ(parsed->gui_path, record.gui_path);
  EXPECT_EQ(parsed->task_name, record.task_name);
  EXPECT_EQ(parsed->installed_at, record.installed_at);
}

struct ReaderCase {
  const char* label;
  std::string_view text;
  bool accepted;
};

// A literal with every byte up to its terminator, NUL bytes included.
template <std::size_t N>
constexpr std::string_view all_bytes(const char (&literal)[N]) {
  return {literal, N - 1};
}

void PrintTo(const ReaderCase& c, std::ostream* os) { *os << c.label; }

class RecordForms : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(RecordForms, AcceptsOnlyTheStrictShape) {
  const auto parsed = parse_record(GetParam().text);
  EXPECT_EQ(parsed.has_value(), GetParam().accepted)
      << (parsed ? std::string("accepted") : parsed.error());
  if (parsed) {
    EXPECT_EQ(parsed->gui_path, "C:\\V\\Vorlane.exe");
  }
}

#define MEMBERS_BEFORE_AT                                                               \
  "\"schema\":1,\"protocol\":1,\"version\":\"0.1.0\",\"userSid\":\"S-1\",\"guiPath\":" \
  "\"C:\\\\V\\\\Vorlane.exe\",\"taskName\":\"Keyward (S-1)\""
#define ARRAY_BEFORE_AT "1,1,\"0.1.0\",\"S-1\",\"C:\\\\V\\\\Vorlane.exe\",\"Keyward (S-1)\""

INSTANTIATE_TEST_SUITE_P(
    Reader, RecordForms,
    ::testing::Values(
        ReaderCase{"plain", "{" MEMBERS_BEFORE_AT ",\"installedAt\":5}", true},
        ReaderCase{"any_order_and_white_space",
                   " \r\n\t{\"installedAt\":5," MEMBERS_BEFORE_AT "} \n", true},
        ReaderCase{"extra_member", "{" MEMBERS_BEFORE_AT ",\"installedAt\":5,\"note\":[1]}", true},
        ReaderCase{"extra_member_twice",
                   "{\"x\":1," MEMBERS_BEFORE_AT ",\"installedAt\":5,\"x\":2}", true},
        ReaderCase{"nested_duplicate_is_not_top_level",
                   "{" MEMBERS_BEFORE_AT ",\"installedAt\":5,\"x\":{\"schema\":1}}", true},
        ReaderCase{"missing_installed_at", "{" MEMBERS_BEFORE_AT "}", false},
        ReaderCase{"negative_installed_at", "{" MEMBERS_BEFORE_AT ",\"installedAt\":-5}", false},
        ReaderCase{"negative_zero_installed_at", "{" MEMBERS_BEFORE_AT ",\"installedAt\":-0}", true},
        ReaderCase{"exponent_installed_at", "{" MEMBERS_BEFORE_AT ",\"installedAt\":5e0}", false},
        ReaderCase{"fractional_installed_at", "{" MEMBERS_BEFORE_AT ",\"installedAt\":5.5}",
                   false},
        ReaderCase{"integral_float_installed_at", "{" MEMBERS_BEFORE_AT ",\"installedAt\":5.0}",
                   false},
        ReaderCase{"installed_at_beyond_64_bits",
                   "{" MEMBERS_BEFORE_AT ",\"installedAt\":18446744073709551616}", false},
        ReaderCase{"installed_at_as_text", "{" MEMBERS_BEFORE_AT ",\"installedAt\":\"5\"}", false},
        ReaderCase{"schema_beyond_32_bits",
                   "{\"schema\":4294967296,\"protocol\":1,\"version\":\"0.1.0\",\"userSid\":"
                   "\"S-1\",\"guiPath\":\"C:\\\\V\\\\Vorlane.exe\",\"taskName\":\"K\","
                   "\"installedAt\":5}",
                   false},
        ReaderCase{"gui_path_null",
                   "{\"schema\":1,\"protocol\":1,\"version\":\"0.1.0\",\"userSid\":\"S-1\","
                   "\"guiPath\":null,\"taskName\":\"K\",\"installedAt\":5}",
                   false},
        ReaderCase{"duplicate_member",
                   "{\"guiPath\":\"C:\\\\Evil.exe\"," MEMBERS_BEFORE_AT ",\"installedAt\":5}",
                   false},
        ReaderCase{"duplicate_with_same_value",
                   "{" MEMBERS_BEFORE_AT ",\"installedAt\":5,\"installedAt\":5}", false},
        ReaderCase{"array_of_seven", "[" ARRAY_BEFORE_AT ",5]", true},
        ReaderCase{"array_of_six", "[" ARRAY_BEFORE_AT "]", false},
        ReaderCase{"array_of_eight", "[" ARRAY_BEFORE_AT ",5,5]", false},
        ReaderCase{"array_with_wrong_type", "[" ARRAY_BEFORE_AT ",-5]", false},
        ReaderCase{"trailing_garbage", "{" MEMBERS_BEFORE_AT ",\"installedAt\":5}x", false},
        ReaderCase{"two_values", "{" MEMBERS_BEFORE_AT ",\"installedAt\":5}{}", false},
        ReaderCase{"nul_after_object",
                   all_bytes("{" MEMBERS_BEFORE_AT ",\"installedAt\":5}\0x"), false},
        ReaderCase{"nul_then_white_space_only",
                   all_bytes("{" MEMBERS_BEFORE_AT ",\"installedAt\":5}\0"), false},
        ReaderCase{"truncated", "{" MEMBERS_BEFORE_AT ",\"installedAt\":", false},
        ReaderCase{"not_utf8", "{" MEMBERS_BEFORE_AT ",\"installedAt\":5,\"n\":\"\xff\"}", false},
        ReaderCase{"a_string", "\"C:\\\\V\\\\Vorlane.exe\"", false},
        ReaderCase{"empty", "", false}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace vorlane::setup
