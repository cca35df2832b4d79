#include <gtest/gtest.h>

#include "src/entry/entry.hpp"

namespace vorlane::entry {
namespace {

class FakePlatform final : public EntryPlatform {
 public:
  std::vector<std::string> calls;
  std::map<std::string, std::string> files;
  std::vector<std::string> error_lines;
  FileWrite write_result = FileWrite::written;
  std::optional<std::string> app_data = "C:\\Users\\u\\AppData\\Local";
  std::expected<std::string, std::string> install_result = "已启用";
  std::expected<std::string, std::string> uninstall_result = "已停用";
  std::chrono::system_clock::time_point clock{std::chrono::seconds(1700000000) + std::chrono::milliseconds(999)};

  std::string serve(bool test_mode, const std::optional<std::string>& pipe) override {
    calls.push_back(std::string(test_mode ? "serve test" : "serve") + (pipe ? " pipe=" + *pipe : ""));
    return "无法读取当前 Windows 会话";
  }
  std::expected<std::string, std::string> install(const std::string& gui_dir,
                                                  const std::optional<std::string>& sid) override {
    calls.push_back("install gui=" + gui_dir + (sid ? " sid=" + *sid : ""));
    return install_result;
  }
  std::expected<std::string, std::string> uninstall() override {
    calls.push_back("uninstall");
    return uninstall_result;
  }
  std::optional<std::string> local_app_data() override { return app_data; }
  FileWrite write_file(const std::string& folder, const std::string& tail, const std::string& bytes) override {
    if (write_result == FileWrite::written) files[folder + "|" + tail] = bytes;
    return write_result;
  }
  void write_error_line(std::string_view line) override { error_lines.emplace_back(line); }
  std::chrono::system_clock::time_point now() override { return clock; }
};

// The trusted folder and the part below it that must not be a link, as handed to write_file.
const std::string outcome_path = "C:\\Users\\u\\AppData\\Local|Vorlane\\input-helper-setup.json";

std::string outcome(bool ok, const std::string& action, const std::string& message) {
  return "{\n  \"schema\": 1,\n  \"ok\": " + std::string(ok ? "true" : "false") + ",\n  \"action\": \"" +
         action + "\",\n  \"message\": \"" + message + "\",\n  \"at\": 1700000000\n}";
}

struct ModeCase {
  const char* name;
  std::vector<std::string> words;
  int exit_code;
  std::vector<std::string> calls;
  std::optional<std::string> outcome;  // absent: no run outcome written
};
void PrintTo(const ModeCase& c, std::ostream* os) { *os << c.name; }

class EntryMode : public ::testing::TestWithParam<ModeCase> {};

TEST_P(EntryMode, FirstWordChoosesTheModeExactly) {
  FakePlatform platform;
  EXPECT_EQ(run(GetParam().words, platform), GetParam().exit_code);
  EXPECT_EQ(platform.calls, GetParam().calls);
  if (GetParam().outcome) {
    ASSERT_EQ(platform.files.size(), 1u);
    EXPECT_EQ(platform.files[outcome_path], *GetParam().outcome);
  } else {
    EXPECT_TRUE(platform.files.empty());
  }
}

const std::string usage =
    "用法: Keyward.exe --serve | --install --user-sid <SID> --gui-dir <DIR> | --uninstall";

INSTANTIATE_TEST_SUITE_P(
    Table, EntryMode,
    ::testing::Values(
        ModeCase{"no_word", {"Keyward.exe"}, 1, {}, outcome(false, "helper", usage)},
        ModeCase{"upper_case_mode", {"k", "--SERVE"}, 1, {}, outcome(false, "helper", usage)},
        ModeCase{"mode_not_first", {"k", "x", "--serve"}, 1, {}, outcome(false, "helper", usage)},
        ModeCase{"serve_failure_recorded", {"k", "--serve", "--pipe", "x"}, 1, {"serve"},
                 outcome(false, "serve", "无法读取当前 Windows 会话")},
        ModeCase{"test_mode_with_pipe", {"k", "--test-mode", "--pipe", "demo"}, 1,
                 {"serve test pipe=demo"}, std::nullopt},
        ModeCase{"test_mode_alone", {"k", "--test-mode"}, 1, {"serve test"}, std::nullopt},
        ModeCase{"test_mode_pipe_is_last_word", {"k", "--test-mode", "--pipe"}, 1, {"serve test"}, std::nullopt},
        ModeCase{"install", {"k", "--install", "--gui-dir", "C:\\V", "--user-sid", "S-1-5-21-1"}, 0,
                 {"install gui=C:\\V sid=S-1-5-21-1"}, outcome(true, "install", "已启用")},
        ModeCase{"install_without_sid", {"k", "--install", "--gui-dir", "C:\\V"}, 0, {"install gui=C:\\V"},
                 outcome(true, "install", "已启用")},
        ModeCase{"install_gui_dir_last_word", {"k", "--install", "--gui-dir"}, 1, {}, std::nullopt},
        ModeCase{"install_gui_dir_missing", {"k", "--install", "--user-sid", "S-1"}, 1, {}, std::nullopt},
        ModeCase{"install_first_gui_dir_wins", {"k", "--install", "--gui-dir", "A", "--gui-dir", "B"}, 0,
                 {"install gui=A"}, outcome(true, "install", "已启用")},
        ModeCase{"user_sid_swallows_the_option_name",
                 {"k", "--install", "--user-sid", "--gui-dir", "C:\\V"}, 0,
                 {"install gui=C:\\V sid=--gui-dir"}, outcome(true, "install", "已启用")},
        ModeCase{"uninstall_ignores_further_words", {"k", "--uninstall", "--serve", "x"}, 0, {"uninstall"},
                 outcome(true, "uninstall", "已停用")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EntryFailures, InstallAndUninstallErrorsAreRecordedWithExitCodeOne) {
  FakePlatform platform;
  platform.install_result = std::unexpected(std::string("需要管理员权限"));
  platform.uninstall_result = std::unexpected(std::string("无法读取当前用户 SID"));
  EXPECT_EQ(run({"k", "--install", "--gui-dir", "C:\\V"}, platform), 1);
  EXPECT_EQ(platform.files[outcome_path], outcome(false, "install", "需要管理员权限"));
  EXPECT_EQ(run({"k", "--uninstall"}, platform), 1);
  EXPECT_EQ(platform.files[outcome_path], outcome(false, "uninstall", "无法读取当前用户 SID"));
}

TEST(RunOutcome, WithoutLocalAppDataTheWorkingFolderIsTheTrustedFolder) {
  FakePlatform platform;
  platform.app_data = std::nullopt;
  EXPECT_EQ(run({"k"}, platform), 1);
  EXPECT_EQ(platform.files.count(".|Vorlane\\input-helper-setup.json"), 1u);
}

TEST(RunOutcome, ARefusedLinkIsSaidOnceOnStandardErrorOtherFailuresStaySilent) {
  FakePlatform platform;
  platform.write_result = FileWrite::refused;
  EXPECT_EQ(run({"k", "--uninstall"}, platform), 0);  // the outcome never changes the exit code
  EXPECT_EQ(platform.error_lines,
            std::vector<std::string>{"Keyward: 运行结果文件不是其位置上的普通文件（可能是链接），未写入："
                                     "C:\\Users\\u\\AppData\\Local\\Vorlane\\input-helper-setup.json\n"});
  platform.error_lines.clear();
  platform.write_result = FileWrite::failed;
  EXPECT_EQ(run({"k"}, platform), 1);
  EXPECT_TRUE(platform.error_lines.empty());
}

TEST(RunOutcome, EscapesOnlyWhatJsonRequiresAndKeepsChineseRaw) {
  EXPECT_EQ(run_outcome_bytes(false, "install", "无法写入 \"C:\\x\"\n\ttab\x01", 5),
            "{\n  \"schema\": 1,\n  \"ok\": false,\n  \"action\": \"install\",\n"
            "  \"message\": \"无法写入 \\\"C:\\\\x\\\"\\n\\ttab\\u0001\",\n  \"at\": 5\n}");
}

TEST(RunOutcome, TimeIsTruncatedToWholeSecondsAndNeverNegative) {
  using namespace std::chrono;
  EXPECT_EQ(unix_seconds(system_clock::time_point(seconds(1700000000) + milliseconds(999))), 1700000000u);
  EXPECT_EQ(unix_seconds(system_clock::time_point(-seconds(5))), 0u);
  EXPECT_EQ(unix_seconds(system_clock::time_point(-milliseconds(500))), 0u);
}

TEST(RunOutcome, PathFallsBackToTheWorkingFolderAndAvoidsDoubledSeparators) {
  EXPECT_EQ(run_outcome_path(std::nullopt), ".\\Vorlane\\input-helper-setup.json");
  EXPECT_EQ(run_outcome_path("D:\\Data\\"), "D:\\Data\\Vorlane\\input-helper-setup.json");
  EXPECT_EQ(run_outcome_path("D:\\Data"), "D:\\Data\\Vorlane\\input-helper-setup.json");
}

}  // namespace
}  // namespace vorlane::entry
