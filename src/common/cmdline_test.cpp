#include <gtest/gtest.h>

#include "src/common/cmdline.hpp"

namespace vorlane {
namespace {

struct SplitCase {
  const char* name;
  std::u16string line;
  std::vector<std::string> words;
};

class SplitCommandLine : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLine, SplitsLikeTheCRuntime) {
  EXPECT_EQ(split_command_line_utf8(GetParam().line), GetParam().words);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SplitCommandLine,
    ::testing::Values(
        SplitCase{"plain", u"a.exe --serve", {"a.exe", "--serve"}},
        SplitCase{"blank_runs_and_tabs", u"a.exe \t x  \ty ", {"a.exe", "x", "y"}},
        SplitCase{"quoted_program_path_keeps_backslashes",
                  u"\"C:\\Program Files\\K\\\" x", {"C:\\Program Files\\K\\", "x"}},
        SplitCase{"program_path_quotes_only_toggle", u"C:\\a\" b\"c d", {"C:\\a bc", "d"}},
        SplitCase{"quoted_word_with_blank", u"p \"a b\" c", {"p", "a b", "c"}},
        SplitCase{"escaped_quote", u"p a\\\"b", {"p", "a\"b"}},
        SplitCase{"even_backslashes_before_quote", u"p a\\\\\"b c\"", {"p", "a\\b c"}},
        SplitCase{"odd_backslashes_before_quote", u"p a\\\\\\\"b", {"p", "a\\\"b"}},
        SplitCase{"backslashes_not_before_quote_are_literal", u"p a\\\\b\\", {"p", "a\\\\b\\"}},
        SplitCase{"doubled_quote_inside_quotes", u"p \"a\"\"b\" c", {"p", "a\"b", "c"}},
        SplitCase{"doubled_quote_keeps_quoting", u"p \"a\"\"b c\"", {"p", "a\"b c"}},
        SplitCase{"empty_quoted_word", u"p \"\" x", {"p", "", "x"}},
        SplitCase{"trailing_backslash_in_quoted_dir", u"p --gui-dir \"C:\\V\\\\\"",
                  {"p", "--gui-dir", "C:\\V\\"}},
        SplitCase{"unterminated_quote", u"p \"a b", {"p", "a b"}},
        SplitCase{"program_only", u"p", {"p"}},
        SplitCase{"chinese_text", u"p \u4E2D\u6587", {"p", "\xE4\xB8\xAD\xE6\x96\x87"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OptionValue, FirstOccurrenceDecidesAndTheLastWordHasNoValue) {
  const std::vector<std::string> words{"p", "--install", "--user-sid", "--gui-dir",
                                       "C:\\V",  "--gui-dir", "D:\\X"};
  EXPECT_EQ(option_value(words, "--gui-dir"), "C:\\V");
  EXPECT_EQ(option_value(words, "--user-sid"), "--gui-dir");
  EXPECT_EQ(option_value(words, "--pipe"), std::nullopt);
  EXPECT_EQ(option_value({"p", "--x", "--gui-dir"}, "--gui-dir"), std::nullopt);
  // A first occurrence in last place is not rescued by an earlier-scanned program path.
  EXPECT_EQ(option_value({"--pipe", "a"}, "--pipe"), "a");
}

}  // namespace
}  // namespace vorlane
