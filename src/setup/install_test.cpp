#include <gtest/gtest.h>

#include "src/common/version.hpp"
#include "src/setup/procedures.hpp"
#include "src/setup/record.hpp"
#include "src/setup/setup_fakes.hpp"
#include "src/setup/task_definition.hpp"

namespace vorlane::setup {
namespace {

using Verbs = std::vector<std::string>;

const std::string success = "已启用管理员控制；登录后自动启动，不再弹 UAC";

class Install : public ::testing::Test {
 protected:
  FakeMachine machine;
  std::expected<std::string, std::string> run(const std::optional<std::string>& expected_sid = fake_sid,
                                              const std::string& gui_dir = fake_gui_dir) {
    return install(machine.system(), gui_dir, expected_sid);
  }
};

TEST_F(Install, CopiesRecordsRegistersAndStartsTheTask) {
  ASSERT_EQ(run(), success);

  EXPECT_EQ(machine.files.at(fake_installed_program), "program bytes");
  const auto record = parse_record(machine.files.at(fake_record));
  ASSERT_TRUE(record) << record.error();
  EXPECT_EQ(record->schema, 1u);
  EXPECT_EQ(record->protocol, 1u);
  EXPECT_EQ(record->version, version_text);
  EXPECT_EQ(record->user_sid, fake_sid);
  EXPECT_EQ(record->gui_path, fake_gui_dir + "\\Vorlane.exe");
  EXPECT_EQ(record->task_name, fake_task);
  EXPECT_EQ(record->installed_at, machine.wall_seconds);

  const std::vector<std::vector<std::string>> runs{
      {"/End", "/TN", fake_task},
      {"/Create", "/TN", fake_task, "/XML", fake_task_file, "/F"},
      {"/Run", "/TN", fake_task}};
  EXPECT_EQ(machine.schtasks_runs, runs);
  EXPECT_EQ(machine.created_task_file,
            task_file_bytes(task_document(fake_sid, fake_installed_program)));
  EXPECT_FALSE(machine.files.contains(fake_task_file)) << "the definition file outlived /Create";
  EXPECT_EQ(machine.count("sleep"), 0);
}

TEST_F(Install, StopsTheRunningHelperBeforeReplacingItsProgram) {
  ASSERT_TRUE(run());
  const auto& j = machine.journal;
  const auto end = std::find(j.begin(), j.end(), "schtasks /End /TN " + fake_task);
  const auto copy = std::find(j.begin(), j.end(), "copy " + fake_installed_program);
  ASSERT_NE(copy, j.end());
  EXPECT_LT(end, copy);
}

TEST_F(Install, AcceptsTheExpectedSidInAnotherLetterCase) {
  EXPECT_EQ(run("s-1-5-21-7-8-9-1001"), success);
}

TEST_F(Install, WithoutExpectedSidTheTokenUserIsUsed) {
  EXPECT_EQ(run(std::nullopt), success);
  EXPECT_TRUE(machine.files.contains(fake_record));
}

TEST_F(Install, RecordsARelativeGuiFolderAsGiven) {
  machine.files["apps\\Vorlane.exe"] = "gui";
  ASSERT_EQ(run(fake_sid, "apps"), success);
  EXPECT_EQ(parse_record(machine.files.at(fake_record))->gui_path, "apps\\Vorlane.exe");
}

TEST_F(Install, AnEmptyGuiFolderNamesTheProgramInTheWorkingFolder) {
  machine.files["Vorlane.exe"] = "gui";
  ASSERT_EQ(run(fake_sid, ""), success);
  EXPECT_EQ(parse_record(machine.files.at(fake_record))->gui_path, "Vorlane.exe");
}

TEST_F(Install, FromTheInstalledCopyItselfSkipsTheCopy) {
  machine.own_path = "c:/pf/VORLANE/InputHelper/keyward.EXE";
  machine.files[*machine.own_path] = "running copy";
  ASSERT_EQ(run(), success);
  EXPECT_EQ(machine.count("copy"), 0);
  EXPECT_EQ(std::count(machine.journal.begin(), machine.journal.end(), "mkdir " + fake_install_dir), 0);
  EXPECT_TRUE(machine.files.contains(fake_record));
  EXPECT_EQ(machine.verbs(), (Verbs{"/End", "/Create", "/Run"}));
}

TEST_F(Install, SelfCheckDoesNotTrimSeparators) {
  // Only case and slash direction are folded; a different spelling means a different file.
  machine.own_path = fake_installed_program + "\\";
  machine.files[*machine.own_path] = "odd";
  ASSERT_EQ(run(), success);
  EXPECT_EQ(machine.count("copy"), 1);
}

TEST_F(Install, RetriesTheCopyWhileTheOldHelperLetsGo) {
  machine.copy_failures = 3;
  ASSERT_EQ(run(), success);
  EXPECT_EQ(machine.count("copy"), 4);
  EXPECT_EQ(machine.count("sleep 100"), 3);
}

TEST_F(Install, GivesUpCopyingAfterTwentyAttemptsWithTheLastError) {
  machine.copy_failures = 1000;
  EXPECT_EQ(run(), std::unexpected(std::string(
                       "无法复制输入助手到 Program Files：Sharing violation. (os error 32) #981")));
  EXPECT_EQ(machine.count("copy"), 20);
  EXPECT_EQ(machine.count("sleep 100"), 20);  // also after the last attempt
  EXPECT_FALSE(machine.files.contains(fake_record));
}

TEST_F(Install, IgnoresTheOutcomesOfEndAndRun) {
  machine.schtasks_by_verb["/End"] = {.exit_code = 1, .err = "ERROR: no such task"};
  machine.schtasks_by_verb["/Run"] = {.start_error = "Access denied. (os error 5)"};
  EXPECT_EQ(run(), success);
}

// Each failing step: its text, which schtasks runs happened, and what is left behind.
struct FailureCase {
  const char* label;
  std::function<void(FakeMachine&)> arrange;
  std::optional<std::string> expected_sid;
  const char* text;
  Verbs verbs;
  bool program_copied;
  bool record_left;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.label; }

class InstallFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(InstallFailure, ReportsTheStepAndLeavesOnlyWhatCameBefore) {
  const auto& c = GetParam();
  FakeMachine machine;
  c.arrange(machine);
  const auto outcome = install(machine.system(), fake_gui_dir, c.expected_sid);
  ASSERT_FALSE(outcome) << *outcome;
  EXPECT_EQ(outcome.error(), c.text);
  EXPECT_EQ(machine.verbs(), c.verbs);
  EXPECT_EQ(machine.files.contains(fake_installed_program), c.program_copied);
  EXPECT_EQ(machine.files.contains(fake_record), c.record_left);
  EXPECT_FALSE(machine.files.contains(fake_task_file));
}

const Verbs none{};
const Verbs end_only{"/End"};

INSTANTIATE_TEST_SUITE_P(
    Steps, InstallFailure,
    ::testing::Values(
        FailureCase{"not_elevated", [](FakeMachine& m) { m.token.elevation = system::Elevation::not_elevated; },
                    fake_sid, "启用管理员控制需要管理员权限", none, false, false},
        FailureCase{"elevation_unknown", [](FakeMachine& m) { m.token.elevation = system::Elevation::unknown; },
                    fake_sid, "启用管理员控制需要管理员权限", none, false, false},
        FailureCase{"no_sid", [](FakeMachine& m) { m.sid.reset(); }, fake_sid,
                    "无法读取当前用户 SID", none, false, false},
        FailureCase{"other_account", [](FakeMachine&) {}, "S-1-5-21-7-8-9-1002",
                    "请使用当前登录的管理员账户完成安装", none, false, false},
        FailureCase{"sid_prefix_only", [](FakeMachine&) {}, "S-1-5-21-7-8-9-100",
                    "请使用当前登录的管理员账户完成安装", none, false, false},
        FailureCase{"gui_missing",
                    [](FakeMachine& m) { m.files.erase(fake_gui_dir + "\\Vorlane.exe"); },
                    fake_sid, "找不到 Vorlane.exe，请从已安装的 Vorlane 中启用管理员控制", none,
                    false, false},
        FailureCase{"own_path",
                    [](FakeMachine& m) {
                      m.own_path = std::unexpected(std::string("Access denied. (os error 5)"));
                    },
                    fake_sid, "无法定位输入助手：Access denied. (os error 5)", end_only, false,
                    false},
        FailureCase{"program_files_unknown",
                    [](FakeMachine& m) {
                      m.program_files = std::unexpected(std::string("Element not found. (os error 1168)"));
                    },
                    fake_sid, "无法创建安装目录：Element not found. (os error 1168)", end_only, false,
                    false},
        // The own program is opened first of all, but its failure is told only at its step.
        FailureCase{"not_elevated_and_no_own_program",
                    [](FakeMachine& m) {
                      m.token.elevation = system::Elevation::not_elevated;
                      m.own_path = std::unexpected(std::string("Access denied. (os error 5)"));
                    },
                    fake_sid, "启用管理员控制需要管理员权限", none, false, false},
        FailureCase{"other_account_and_no_own_program",
                    [](FakeMachine& m) {
                      m.own_path = std::unexpected(std::string("Access denied. (os error 5)"));
                    },
                    "S-1-5-21-7-8-9-1002", "请使用当前登录的管理员账户完成安装", none, false, false},
        FailureCase{"gui_missing_and_no_own_program",
                    [](FakeMachine& m) {
                      m.files.erase(fake_gui_dir + "\\Vorlane.exe");
                      m.own_path = std::unexpected(std::string("Access denied. (os error 5)"));
                    },
                    fake_sid, "找不到 Vorlane.exe，请从已安装的 Vorlane 中启用管理员控制", none,
                    false, false},
        FailureCase{"no_own_program_and_no_program_files",
                    [](FakeMachine& m) {
                      m.own_path = std::unexpected(std::string("Access denied. (os error 5)"));
                      m.program_files = std::unexpected(std::string("Element not found. (os error 1168)"));
                    },
                    fake_sid, "无法定位输入助手：Access denied. (os error 5)", end_only, false,
                    false},
        FailureCase{"install_dir",
                    [](FakeMachine& m) { m.failing_dirs.insert(fake_install_dir); }, fake_sid,
                    "无法创建安装目录：Access denied. (os error 5)", end_only, false, false},
        FailureCase{"records_dir",
                    [](FakeMachine& m) { m.failing_dirs.insert(fake_records_dir); }, fake_sid,
                    "无法创建安装目录：Access denied. (os error 5)", end_only, true, false},
        FailureCase{"record_write",
                    [](FakeMachine& m) { m.failing_writes.insert(fake_record); }, fake_sid,
                    "无法写入安装记录：Disk full. (os error 112)", end_only, true, false},
        FailureCase{"task_file_write",
                    [](FakeMachine& m) { m.failing_writes.insert(fake_task_file); }, fake_sid,
                    "无法写入计划任务 XML：Disk full. (os error 112)", end_only, true, true},
        FailureCase{"create_refused",
                    [](FakeMachine& m) {
                      m.schtasks_by_verb["/Create"] = {.exit_code = 1,
                                                       .err = "ERROR: The task XML is malformed.\r\n"};
                    },
                    fake_sid,
                    "schtasks /Create /TN Keyward (S-1-5-21-7-8-9-1001) /XML "
                    "C:\\PF\\Vorlane\\InputHelper\\keyward-4242.xml /F 失败：ERROR: The task XML is malformed.",
                    Verbs{"/End", "/Create"}, true, false},
        FailureCase{"create_not_started",
                    [](FakeMachine& m) {
                      m.schtasks_by_verb["/Create"] = {.start_error =
                                                           "File not found. (os error 2)"};
                    },
                    fake_sid, "无法运行 schtasks：File not found. (os error 2)",
                    Verbs{"/End", "/Create"}, true, false}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(Install, CopiesTheProgramAsItWasWhenOpened) {
  // What a racer would do between the start and the copy if nothing held the file: put another
  // program under its name.
  machine.on_end = [this] { machine.files[fake_own_program] = "planted"; };
  machine.copy_failures = 2;
  ASSERT_EQ(run(), success);
  EXPECT_EQ(machine.files.at(fake_installed_program), "program bytes");
  EXPECT_EQ(machine.own_program_opens, 1);
}

// The held file must be the image the process runs from before anything is copied or
// registered: a program of the user may have put another file at the name before the open.
struct ImageCase {
  const char* label;
  std::expected<bool, std::string> running_image;
  std::optional<std::string> error;  // absent: success
};

void PrintTo(const ImageCase& c, std::ostream* os) { *os << c.label; }

class InstallImage : public ::testing::TestWithParam<ImageCase> {};

TEST_P(InstallImage, OnlyTheRunningImageIsCopiedAndRegistered) {
  const auto& c = GetParam();
  FakeMachine machine;
  machine.running_image = c.running_image;
  const auto outcome = install(machine.system(), fake_gui_dir, fake_sid);
  EXPECT_EQ(machine.count("compare image"), 1);
  if (!c.error) {
    EXPECT_EQ(outcome, success);
    EXPECT_EQ(machine.files.at(fake_installed_program), "program bytes");
    return;
  }
  EXPECT_EQ(outcome, std::unexpected(*c.error));
  EXPECT_EQ(machine.verbs(), end_only);
  EXPECT_EQ(machine.count("copy"), 0);
  EXPECT_EQ(machine.count("mkdir"), 0);
  EXPECT_EQ(machine.count("write"), 0);
  EXPECT_FALSE(machine.dirs.contains(fake_install_dir));
}

INSTANTIATE_TEST_SUITE_P(
    Identity, InstallImage,
    ::testing::Values(
        ImageCase{"same_file", true, {}},
        ImageCase{"another_file", false, "无法定位输入助手：程序文件已不是正在运行的程序（可能已被替换）"},
        ImageCase{"not_mappable_as_an_image",
                  std::unexpected(std::string("Bad EXE format. (os error 193)")),
                  "无法定位输入助手：Bad EXE format. (os error 193)"}),
    [](const auto& info) { return std::string(info.param.label); });

// The definition file: where it is written, that it is new, and that it never outlives
// "/Create", whatever that run's outcome.
struct TaskFileCase {
  const char* label;
  std::function<void(FakeMachine&)> arrange;
  bool succeeds;
};

void PrintTo(const TaskFileCase& c, std::ostream* os) { *os << c.label; }

class InstallTaskFile : public ::testing::TestWithParam<TaskFileCase> {};

TEST_P(InstallTaskFile, IsCreatedNewInTheInstallDirAndRemovedAfterCreate) {
  FakeMachine machine;
  GetParam().arrange(machine);
  EXPECT_EQ(install(machine.system(), fake_gui_dir, fake_sid).has_value(), GetParam().succeeds);

  ASSERT_GE(machine.schtasks_runs.size(), 2u);
  EXPECT_EQ(machine.schtasks_runs[1][4], fake_task_file);
  EXPECT_EQ(machine.created_task_file,
            task_file_bytes(task_document(fake_sid, fake_installed_program)));
  EXPECT_FALSE(machine.files.contains(fake_task_file));

  const auto& j = machine.journal;
  const auto stale_removed = std::find(j.begin(), j.end(), "remove " + fake_task_file);
  const auto created = std::find(j.begin(), j.end(), "create " + fake_task_file);
  const auto registered = std::find_if(j.begin(), j.end(), [](const std::string& e) {
    return e.starts_with("schtasks /Create");
  });
  const auto removed = std::find(registered, j.end(), "remove " + fake_task_file);
  EXPECT_LT(stale_removed, created);
  EXPECT_LT(created, registered);
  EXPECT_NE(removed, j.end());
  // Nothing is written outside the install directory: no TEMP, no other folder.
  for (const auto& effect : j) {
    if (effect.starts_with("write ") || effect.starts_with("create ") || effect.starts_with("copy ")) {
      EXPECT_TRUE(effect.substr(effect.find(' ') + 1).starts_with(fake_install_dir + "\\")) << effect;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, InstallTaskFile,
    ::testing::Values(
        TaskFileCase{"registered", [](FakeMachine&) {}, true},
        TaskFileCase{"stale_file_of_the_name",
                     [](FakeMachine& m) {
                       m.create_directories(fake_install_dir);
                       m.files[fake_task_file] = "stale";
                     },
                     true},
        TaskFileCase{"create_refused",
                     [](FakeMachine& m) { m.schtasks_by_verb["/Create"] = {.exit_code = 1}; },
                     false},
        TaskFileCase{"create_not_started",
                     [](FakeMachine& m) {
                       m.schtasks_by_verb["/Create"] = {.start_error = "File not found. (os error 2)"};
                     },
                     false},
        TaskFileCase{"from_the_installed_copy",
                     [](FakeMachine& m) {
                       // No copy, so no folder made for it: the record's folder brings it.
                       m.own_path = fake_installed_program;
                       m.files[fake_installed_program] = "running copy";
                     },
                     true}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(Install, RefusesADefinitionFileNameThatReappears) {
  // Someone holds on to the name: the stale file cannot be removed, and is not written through.
  machine.create_directories(fake_install_dir);
  machine.files[fake_task_file] = "planted";
  machine.remove_failures[fake_task_file] = 1;
  EXPECT_EQ(run(), std::unexpected(std::string("无法写入计划任务 XML：File exists. (os error 80)")));
  EXPECT_EQ(machine.files.at(fake_task_file), "planted");
  EXPECT_EQ(machine.verbs(), (Verbs{"/End"}));
}

TEST(InstallFailureEffects, NotElevatedTouchesNothing) {
  FakeMachine machine;
  machine.token.elevation = system::Elevation::not_elevated;
  const auto before = machine.files;
  ASSERT_FALSE(install(machine.system(), fake_gui_dir, fake_sid));
  EXPECT_TRUE(machine.journal.empty());
  EXPECT_EQ(machine.files, before);
}

TEST(InstallFailureEffects, FailedRegistrationRemovesTheRecordOfAnEarlierInstall) {
  FakeMachine machine;
  ASSERT_TRUE(install(machine.system(), fake_gui_dir, fake_sid));
  machine.schtasks_by_verb["/Create"] = {.exit_code = 5, .out = "Access is denied."};
  const auto outcome = install(machine.system(), fake_gui_dir, fake_sid);
  ASSERT_FALSE(outcome);
  EXPECT_TRUE(outcome.error().ends_with(" 失败：Access is denied.")) << outcome.error();
  EXPECT_FALSE(machine.files.contains(fake_record));
}

}  // namespace
}  // namespace vorlane::setup
