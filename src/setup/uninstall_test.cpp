#include <gtest/gtest.h>

#include "src/setup/procedures.hpp"
#include "src/setup/setup_fakes.hpp"

namespace vorlane::setup {
namespace {

using Verbs = std::vector<std::string>;

const std::string success = "已移除管理员控制";
const std::string vorlane_dir = "C:\\PF\\Vorlane";
const std::string other_record = fake_records_dir + "\\S-1-5-21-7-8-9-1002.json";

// A machine where this user has enabled control: program copy, record, task.
class Uninstall : public ::testing::Test {
 protected:
  FakeMachine machine;
  void SetUp() override {
    machine.create_directories(fake_records_dir);
    machine.files[fake_installed_program] = "program bytes";
    machine.files[fake_record] = "{}";
    machine.journal.clear();
  }
  bool shared_files_present() const {
    return machine.files.contains(fake_installed_program) && machine.dirs.contains(fake_records_dir) &&
           machine.dirs.contains(fake_install_dir) && machine.dirs.contains(vorlane_dir);
  }
};

TEST_F(Uninstall, LastUserRemovesTaskRecordAndSharedFiles) {
  ASSERT_EQ(uninstall(machine.system()), success);
  const std::vector<std::vector<std::string>> runs{
      {"/Query", "/TN", fake_task}, {"/End", "/TN", fake_task}, {"/Delete", "/TN", fake_task, "/F"}};
  EXPECT_EQ(machine.schtasks_runs, runs);
  EXPECT_FALSE(machine.files.contains(fake_record));
  EXPECT_FALSE(machine.files.contains(fake_installed_program));
  EXPECT_FALSE(machine.dirs.contains(fake_records_dir));
  EXPECT_FALSE(machine.dirs.contains(fake_install_dir));
  EXPECT_FALSE(machine.dirs.contains(vorlane_dir));
  EXPECT_TRUE(machine.dirs.contains(fake_program_files));
}

TEST_F(Uninstall, AnotherUsersRecordKeepsTheSharedFiles) {
  machine.files[other_record] = "{}";
  ASSERT_EQ(uninstall(machine.system()), success);
  EXPECT_FALSE(machine.files.contains(fake_record));
  EXPECT_TRUE(machine.files.contains(other_record));
  EXPECT_TRUE(shared_files_present());
}

TEST_F(Uninstall, AStrayFolderInTheRecordsFolderKeepsTheSharedFiles) {
  machine.dirs.insert(fake_records_dir + "\\backup");
  ASSERT_EQ(uninstall(machine.system()), success);
  EXPECT_TRUE(shared_files_present());
}

TEST_F(Uninstall, AMissingRecordsFolderKeepsTheSharedFiles) {
  machine.files.erase(fake_record);
  machine.dirs.erase(fake_records_dir);
  ASSERT_EQ(uninstall(machine.system()), success);
  EXPECT_TRUE(machine.files.contains(fake_installed_program));
  EXPECT_EQ(machine.count("remove " + fake_installed_program), 0);
}

TEST_F(Uninstall, AListingThatFailsPartWayKeepsTheSharedFiles) {
  machine.unlistable.insert(fake_records_dir);
  ASSERT_EQ(uninstall(machine.system()), success);
  EXPECT_TRUE(machine.files.contains(fake_installed_program));
}

TEST_F(Uninstall, AStrayFileInTheInstallFolderKeepsOnlyTheFolders) {
  machine.files[fake_install_dir + "\\notes.txt"] = "mine";
  ASSERT_EQ(uninstall(machine.system()), success);
  EXPECT_FALSE(machine.files.contains(fake_installed_program));
  EXPECT_FALSE(machine.dirs.contains(fake_records_dir));
  EXPECT_TRUE(machine.files.contains(fake_install_dir + "\\notes.txt"));
  EXPECT_TRUE(machine.dirs.contains(fake_install_dir));
  EXPECT_TRUE(machine.dirs.contains(vorlane_dir));
}

// What the query said decides whether the task is ended and deleted: only a query that ran to
// its end and said "no" spares them; one that could not start or was ended at the limit said
// nothing, and then the deletion's outcome decides.
struct QueryCase {
  const char* label;
  SchtasksRun query;
  SchtasksRun deletion;
  Verbs verbs;
  std::optional<std::string> error;  // absent: success
};

void PrintTo(const QueryCase& c, std::ostream* os) { *os << c.label; }

class UninstallQuery : public Uninstall, public ::testing::WithParamInterface<QueryCase> {};

TEST_P(UninstallQuery, GivesTheRunsAndTheResult) {
  const auto& c = GetParam();
  machine.schtasks_by_verb["/Query"] = c.query;
  machine.schtasks_by_verb["/Delete"] = c.deletion;
  const auto outcome = uninstall(machine.system());
  EXPECT_EQ(machine.verbs(), c.verbs);
  if (c.error) {
    EXPECT_EQ(outcome, std::unexpected(*c.error));
    EXPECT_TRUE(machine.files.contains(fake_record)) << "the record went while the task may stay";
    EXPECT_TRUE(shared_files_present());
  } else {
    EXPECT_EQ(outcome, success);
    EXPECT_FALSE(machine.files.contains(fake_record));
    EXPECT_FALSE(machine.files.contains(fake_installed_program));
  }
}

const Verbs query_only{"/Query"};
const Verbs query_end_delete{"/Query", "/End", "/Delete"};
const SchtasksRun deleted{};
const SchtasksRun not_started{.start_error = "File not found. (os error 2)"};
const SchtasksRun no_such_task{.exit_code = 1, .err = "ERROR: The system cannot find the file specified.\r\n"};
const std::string delete_refused =
    "schtasks /Delete /TN Keyward (S-1-5-21-7-8-9-1001) /F 失败：ERROR: The system cannot find the file specified.";

INSTANTIATE_TEST_SUITE_P(
    Outcomes, UninstallQuery,
    ::testing::Values(
        QueryCase{"exit_0", {}, deleted, query_end_delete, {}},
        QueryCase{"exit_1", no_such_task, deleted, query_only, {}},
        QueryCase{"exit_1_and_deletion_would_fail", no_such_task, no_such_task, query_only, {}},
        QueryCase{"could_not_start", not_started, deleted, query_end_delete, {}},
        QueryCase{"timed_out", timed_out_run(schtasks_time_limit), deleted, query_end_delete, {}},
        QueryCase{"could_not_start_nor_delete", not_started, not_started, query_end_delete,
                  "无法运行 schtasks：File not found. (os error 2)"},
        QueryCase{"timed_out_and_deletion_refused", timed_out_run(schtasks_time_limit),
                  no_such_task, query_end_delete, delete_refused},
        QueryCase{"both_timed_out", timed_out_run(schtasks_time_limit),
                  timed_out_run(schtasks_time_limit), query_end_delete,
                  "无法运行 schtasks：schtasks 在 120 秒内没有结束"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(Uninstall, NeverEnabledStillSucceeds) {
  machine.files.erase(fake_record);
  machine.schtasks_by_verb["/Query"] = {.exit_code = 1};
  EXPECT_EQ(uninstall(machine.system()), success);
}

TEST_F(Uninstall, IgnoresAFailingEnd) {
  machine.schtasks_by_verb["/End"] = {.exit_code = 1, .err = "ERROR: not running"};
  EXPECT_EQ(uninstall(machine.system()), success);
  EXPECT_EQ(machine.verbs(), (Verbs{"/Query", "/End", "/Delete"}));
}

TEST_F(Uninstall, RefusedDeletionFailsAndLeavesRecordAndFiles) {
  machine.schtasks_by_verb["/Delete"] = {.exit_code = 1, .out = "ERROR: Access is denied.\r\n", .err = " \n"};
  EXPECT_EQ(uninstall(machine.system()),
            std::unexpected(std::string(
                "schtasks /Delete /TN Keyward (S-1-5-21-7-8-9-1001) /F 失败：ERROR: Access is denied.")));
  EXPECT_TRUE(machine.files.contains(fake_record));
  EXPECT_TRUE(shared_files_present());
}

TEST_F(Uninstall, DeletionThatCannotStartFailsWithTheSystemError) {
  machine.schtasks_by_verb["/Delete"] = {.start_error = "Access denied. (os error 5)"};
  EXPECT_EQ(uninstall(machine.system()), std::unexpected(std::string("无法运行 schtasks：Access denied. (os error 5)")));
  EXPECT_TRUE(machine.files.contains(fake_record));
}

TEST_F(Uninstall, WithoutTheProgramFilesFolderRemovesOnlyTheTask) {
  machine.program_files = std::unexpected(std::string("Element not found. (os error 1168)"));
  ASSERT_EQ(uninstall(machine.system()), success);
  EXPECT_EQ(machine.verbs(), (Verbs{"/Query", "/End", "/Delete"}));
  EXPECT_TRUE(machine.files.contains(fake_record));
  EXPECT_TRUE(shared_files_present());
  EXPECT_EQ(machine.count("list"), 0);
}

TEST_F(Uninstall, RefusedDeletionIsReportedBeforeTheProgramFilesFolderCounts) {
  machine.program_files = std::unexpected(std::string("Element not found. (os error 1168)"));
  machine.schtasks_by_verb["/Delete"] = {.exit_code = 1, .err = "ERROR: Access is denied."};
  EXPECT_EQ(uninstall(machine.system()),
            std::unexpected(std::string(
                "schtasks /Delete /TN Keyward (S-1-5-21-7-8-9-1001) /F 失败：ERROR: Access is denied.")));
}

TEST_F(Uninstall, RetriesRemovingTheProgramWhileTheHelperLetsGo) {
  machine.remove_failures[fake_installed_program] = 2;
  ASSERT_EQ(uninstall(machine.system()), success);
  EXPECT_EQ(machine.count("remove " + fake_installed_program), 3);
  EXPECT_EQ(machine.count("sleep 100"), 2);
  EXPECT_FALSE(machine.dirs.contains(fake_install_dir));
}

TEST_F(Uninstall, GivesUpRemovingTheProgramAfterTwentyAttemptsAndStillSucceeds) {
  machine.remove_failures[fake_installed_program] = 1000;
  ASSERT_EQ(uninstall(machine.system()), success);
  EXPECT_EQ(machine.count("remove " + fake_installed_program), 20);
  EXPECT_EQ(machine.count("sleep 100"), 20);
  EXPECT_TRUE(machine.files.contains(fake_installed_program));
  EXPECT_TRUE(machine.dirs.contains(fake_install_dir)) << "a folder with content was removed";
}

struct RefusalCase {
  const char* label;
  std::function<void(FakeMachine&)> arrange;
  const char* text;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.label; }

class UninstallRefusal : public Uninstall, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(UninstallRefusal, ChangesNothing) {
  GetParam().arrange(machine);
  EXPECT_EQ(uninstall(machine.system()), std::unexpected(std::string(GetParam().text)));
  EXPECT_TRUE(machine.journal.empty());
  EXPECT_TRUE(machine.schtasks_runs.empty());
  EXPECT_TRUE(machine.files.contains(fake_record));
  EXPECT_TRUE(shared_files_present());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, UninstallRefusal,
    ::testing::Values(
        RefusalCase{"not_elevated", [](FakeMachine& m) { m.token.elevation = system::Elevation::not_elevated; },
                    "移除管理员控制需要管理员权限"},
        RefusalCase{"elevation_unknown", [](FakeMachine& m) { m.token.elevation = system::Elevation::unknown; },
                    "移除管理员控制需要管理员权限"},
        RefusalCase{"no_sid", [](FakeMachine& m) { m.sid.reset(); }, "无法读取当前用户 SID"}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace vorlane::setup
