// Keyward.exe --install / --uninstall end to end, under Wine, with the schtasks double.
#include <regex>
#include <thread>

#include <gtest/gtest.h>

#include "src/common/text.hpp"
#include "src/setup/record.hpp"
#include "tests/e2e/keyward_setup/setup_fixture.hpp"

namespace vorlane::testing {
namespace {

const auto* const double_in_place =
    ::testing::AddGlobalTestEnvironment(new SchtasksDoubleEnvironment);

const std::string install_ok = "已启用管理员控制；登录后自动启动，不再弹 UAC";
const std::string uninstall_ok = "已移除管理员控制";
const std::string system_tool = "\"C:\\windows\\system32\\schtasks.exe\"";

// The definition file of a run: in the install directory, named for the process.
bool is_definition_file(const std::string& path, const std::wstring& install_dir) {
  const std::string dir = narrow(install_dir) + "\\";
  return path.starts_with(dir) &&
         std::regex_match(path.substr(dir.size()), std::regex("keyward-[0-9]+\\.xml"));
}

void expect_outcome(const nlohmann::json& outcome, bool ok, const std::string& action,
                    const std::string& message) {
  ASSERT_TRUE(outcome.is_object()) << outcome.dump();
  EXPECT_EQ(outcome.value("ok", !ok), ok);
  EXPECT_EQ(outcome.value("action", ""), action);
  EXPECT_EQ(outcome.value("message", ""), message);
}

using SetupInstall = SetupMachine;

TEST_F(SetupInstall, CopiesRecordsRegistersAndStartsTheHelper) {
  const auto result = install();
  ASSERT_EQ(result.exit_code, 0u) << result.err;
  expect_outcome(outcome(), true, "install", install_ok);

  EXPECT_EQ(read_file(installed_program()), read_file(bin_path(L"Keyward.exe")));
  const auto record = setup::parse_record(read_file(record_file(wine_sid)));
  ASSERT_TRUE(record) << record.error();
  EXPECT_EQ(record->user_sid, wine_sid);
  EXPECT_EQ(record->gui_path, narrow(gui_dir()) + "\\Vorlane.exe");
  EXPECT_EQ(record->task_name, wine_task);
  EXPECT_GT(record->installed_at, 1700000000u);

  const auto log = schtasks_log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0], system_tool + " /End /TN \"" + wine_task + "\"");
  const std::string create_head = system_tool + " /Create /TN \"" + wine_task + "\" /XML ";
  ASSERT_TRUE(log[1].starts_with(create_head)) << log[1];
  ASSERT_TRUE(log[1].ends_with(" /F")) << log[1];
  EXPECT_EQ(log[2], system_tool + " /Run /TN \"" + wine_task + "\"");

  // The definition reached the tool from the install directory, and was removed afterwards.
  const std::string definition = read_file(double_dir() + L"\\tasks\\" + widen(wine_task) + L".xml");
  ASSERT_GT(definition.size(), 2u);
  EXPECT_EQ(definition.substr(0, 2), "\xFF\xFE");
  std::string xml_path = log[1].substr(create_head.size(), log[1].size() - create_head.size() - 3);
  if (xml_path.size() > 1 && xml_path.front() == '"') xml_path = xml_path.substr(1, xml_path.size() - 2);
  EXPECT_TRUE(is_definition_file(xml_path, install_dir())) << xml_path;
  EXPECT_FALSE(file_exists(widen(xml_path))) << xml_path;

  // Program Files is the system's: the folder the variables name stays empty, and so does TEMP.
  EXPECT_TRUE(folder_empty(decoy_program_files()));
  EXPECT_TRUE(folder_empty(temp_dir()));

  EXPECT_NE(running_helper_pid(), 0u) << "the /Run did not leave a helper running";
}

TEST_F(SetupInstall, ReplacesTheCopyUnderARunningHelper) {
  ASSERT_EQ(install().exit_code, 0u);
  const DWORD first = running_helper_pid();
  ASSERT_NE(first, 0u);

  const auto again = install();
  ASSERT_EQ(again.exit_code, 0u) << again.err;
  expect_outcome(outcome(), true, "install", install_ok);
  EXPECT_FALSE(process_running(first)) << "the old helper was not ended";
  EXPECT_NE(running_helper_pid(), 0u);
  EXPECT_EQ(schtasks_log().size(), 6u);
}

TEST_F(SetupInstall, FromTheInstalledCopyItselfMakesNoCopy) {
  ASSERT_EQ(install().exit_code, 0u);
  // Upper case and forward slashes still name the same file.
  std::wstring self = installed_program();
  for (auto& c : self) c = c == L'\\' ? L'/' : static_cast<wchar_t>(towupper(c));

  const auto result = keyward_from(
      self, {L"--install", L"--gui-dir", gui_dir(), L"--user-sid", widen(wine_sid)});
  ASSERT_EQ(result.exit_code, 0u) << result.err;
  expect_outcome(outcome(), true, "install", install_ok);
  const auto log = schtasks_log();
  ASSERT_EQ(log.size(), 6u);
  EXPECT_NE(log[4].find(" /Create "), std::string::npos);
  EXPECT_TRUE(file_exists(record_file(wine_sid)));
}

TEST_F(SetupInstall, RefusedRegistrationRemovesTheRecordAndNamesTheCommand) {
  fail_schtasks(L"create", 1, "ignored because stderr has text",
                "ERROR: The task XML contains a value which is incorrectly formatted.\r\n");
  const auto result = install();
  EXPECT_EQ(result.exit_code, 1u);
  const auto out = outcome();
  ASSERT_TRUE(out.is_object());
  EXPECT_EQ(out.value("ok", true), false);
  EXPECT_EQ(out.value("action", ""), "install");
  const std::string message = out.value("message", "");
  const std::string head = "schtasks /Create /TN " + wine_task + " /XML ";
  const std::string tail =
      ".xml /F 失败：ERROR: The task XML contains a value which is incorrectly formatted.";
  EXPECT_TRUE(message.starts_with(head)) << message;
  EXPECT_TRUE(message.ends_with(tail)) << message;
  const std::string xml_path = message.substr(head.size(), message.size() - head.size() - tail.size() + 4);
  EXPECT_TRUE(is_definition_file(xml_path, install_dir())) << xml_path;
  EXPECT_FALSE(file_exists(widen(xml_path))) << "definition file left behind";
  EXPECT_TRUE(folder_empty(temp_dir()));

  EXPECT_FALSE(file_exists(record_file(wine_sid)));
  const auto log = schtasks_log();
  ASSERT_EQ(log.size(), 2u) << "no /Run after a failed /Create";
  EXPECT_NE(log[1].find("/TN \"" + wine_task + "\""), std::string::npos) << log[1];
}

TEST_F(SetupInstall, FolderWithoutGuiProgramIsRefusedBeforeAnythingRuns) {
  ::DeleteFileW((gui_dir() + L"\\Vorlane.exe").c_str());
  create_directories(gui_dir() + L"\\Vorlane.exe");
  const auto result = install();
  EXPECT_EQ(result.exit_code, 1u);
  expect_outcome(outcome(), false, "install",
                 "找不到 Vorlane.exe，请从已安装的 Vorlane 中启用管理员控制");
  EXPECT_TRUE(schtasks_log().empty());
  EXPECT_FALSE(file_exists(vorlane_dir()));
}

TEST_F(SetupInstall, WithoutElevationIsRefusedBeforeAnythingRuns) {
  EXPECT_EQ(keyward_not_elevated({L"--install", L"--gui-dir", gui_dir()}), 1u);
  expect_outcome(outcome(), false, "install", "启用管理员控制需要管理员权限");
  EXPECT_TRUE(schtasks_log().empty()) << "not even the /End may run";
  EXPECT_FALSE(file_exists(vorlane_dir()));
}

TEST_F(SetupInstall, CopyOntoALockedProgramGivesUpWithTheLastError) {
  create_directories(install_dir());
  ASSERT_TRUE(write_file(installed_program(), "old copy"));
  win32::unique_handle lock(::CreateFileW(installed_program().c_str(), GENERIC_READ, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(lock);

  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(install().exit_code, 1u);
  // Twenty attempts 100 ms apart; only a lower bound is safe on a loaded machine.
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1900));
  expect_outcome(outcome(), false, "install",
                 "无法复制输入助手到 Program Files：Sharing violation. (os error 32)");
  EXPECT_FALSE(file_exists(record_file(wine_sid)));
  EXPECT_EQ(schtasks_log().size(), 1u) << "only the /End";
}

TEST_F(SetupInstall, CopiesTheProgramThatWasStartedWhileAnotherProgramRacesForItsName) {
  // Keyward started from a folder the user's programs can change, as it lies beside Vorlane.exe.
  const std::wstring source = user_dir() + L"\\Keyward.exe";
  ASSERT_TRUE(copy_file(bin_path(L"Keyward.exe"), source));
  const std::string original = read_file(source);
  // The old copy held without write sharing keeps the install retrying its copy meanwhile.
  create_directories(install_dir());
  ASSERT_TRUE(write_file(installed_program(), "old copy"));
  win32::unique_handle lock(::CreateFileW(installed_program().c_str(), GENERIC_READ, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(lock);

  Child keyward = Child::start(
      source, {L"--install", L"--gui-dir", gui_dir(), L"--user-sid", widen(wine_sid)},
      environment());
  // The "/End" runs once the program holds its own file; the copy attempts follow it.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (schtasks_log().empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(schtasks_log().size(), 1u) << "the install did not reach its /End";

  // The racer stops well within the retry budget, before the install lets its file go.
  Child racer = Child::start(bin_path(L"source_racer.exe"), {source, L"600"});
  const auto raced = racer.wait(std::chrono::seconds(30));
  lock.reset();
  const auto installed = keyward.wait(std::chrono::seconds(60));

  ASSERT_TRUE(raced);
  EXPECT_EQ(*raced, 0u) << racer.out();
  std::smatch counts;
  const std::string report = racer.out();
  ASSERT_TRUE(std::regex_search(report, counts, std::regex("renamed 0 overwritten 0 tries ([0-9]+)")))
      << report;
  EXPECT_GT(std::stoul(counts[1]), 10u) << "the racer hardly tried";
  ASSERT_TRUE(installed);
  EXPECT_EQ(*installed, 0u) << keyward.err();
  expect_outcome(outcome(), true, "install", install_ok);
  EXPECT_EQ(read_file(source), original);
  EXPECT_TRUE(read_file(installed_program()) == original) << "the installed copy is not the program started";
}

// A program of the user renames the started program's file away and puts another file at its
// name before the program runs. The install refuses at once, whether the other file holds the
// very same bytes or another program: it copies nothing and registers nothing.
class SetupInstallSwapped : public SetupMachine, public ::testing::WithParamInterface<const wchar_t*> {};

TEST_P(SetupInstallSwapped, RefusesAProgramFileReplacedBeforeItRan) {
  const std::wstring source = user_dir() + L"\\Keyward.exe";
  ASSERT_TRUE(copy_file(bin_path(L"Keyward.exe"), source));
  Child keyward = Child::start_suspended(
      source, {L"--install", L"--gui-dir", gui_dir(), L"--user-sid", widen(wine_sid)}, environment());
  ASSERT_NE(keyward.pid(), 0u);
  ASSERT_TRUE(::MoveFileW(source.c_str(), (user_dir() + L"\\Keyward-moved.exe").c_str())) << ::GetLastError();
  ASSERT_TRUE(copy_file(bin_path(GetParam()), source));
  ASSERT_TRUE(keyward.resume());
  const auto installed = keyward.wait(std::chrono::seconds(60));

  ASSERT_TRUE(installed);
  EXPECT_EQ(*installed, 1u) << keyward.err();
  expect_outcome(outcome(), false, "install",
                 "无法定位输入助手：程序文件已不是正在运行的程序（可能已被替换）");
  EXPECT_TRUE(folder_empty(program_files())) << "Program Files got something";
  EXPECT_EQ(schtasks_log(), std::vector<std::string>{system_tool + " /End /TN \"" + wine_task + "\""})
      << "more than the /End ran";
}

INSTANTIATE_TEST_SUITE_P(Planted, SetupInstallSwapped,
                         ::testing::Values(L"Keyward.exe", L"source_racer.exe"),
                         [](const auto& info) {
                           return std::string(info.index == 0 ? "same_bytes" : "another_program");
                         });

TEST_F(SetupInstall, ReadsLargeOutputOnBothStreamsOfAFailingSchtasks) {
  // Far more than a pipe holds on each stream: a runner that waits for the end before reading,
  // or reads one stream to its end first, never returns.
  fail_schtasks(L"create", 3, std::string(300000, 'o'), std::string(300000, 'e') + "END\r\n");
  EXPECT_EQ(install().exit_code, 1u);
  const std::string message = outcome().value("message", "");
  EXPECT_TRUE(message.ends_with(" 失败：" + std::string(300000, 'e') + "END"))
      << message.substr(0, 200);
}

TEST_F(SetupInstall, NeverRunsASchtasksPlantedBesideTheProgram) {
  // A copy of Keyward in a folder that also holds a schtasks.exe of someone else's.
  const std::wstring planted_dir = double_dir() + L"\\planted";
  create_directories(planted_dir);
  ASSERT_TRUE(copy_file(bin_path(L"Keyward.exe"), planted_dir + L"\\Keyward.exe"));
  ASSERT_TRUE(copy_file(bin_path(L"schtasks_double.exe"), planted_dir + L"\\schtasks.exe"));

  const auto result = keyward_from(planted_dir + L"\\Keyward.exe",
                                   {L"--install", L"--gui-dir", gui_dir()});
  ASSERT_EQ(result.exit_code, 0u) << result.err;
  const auto images = schtasks_images();
  ASSERT_EQ(images.size(), 3u);
  for (const auto& image : images) {
    EXPECT_EQ(ascii_lower(image), "c:\\windows\\system32\\schtasks.exe");
  }
}

TEST_F(SetupInstall, InstalledHelperAdmitsOnlyTheRecordedClient) {
  // The recorded Vorlane.exe is the pipe client stand-in; the same program elsewhere is not.
  ASSERT_TRUE(copy_file(bin_path(L"vorlane_client.exe"), gui_dir() + L"\\Vorlane.exe"));
  ASSERT_EQ(install().exit_code, 0u);
  const std::wstring pipe = L"vorlane-input-" + widen(wine_sid) + L"-1";
  const std::vector<std::wstring> session{L"--pipe", pipe, L"--connect-timeout-ms", L"20000",
                                          L"{\"type\":\"hello\",\"protocol\":1}",
                                          L"{\"type\":\"status\"}"};

  const auto admitted = keyward_from(gui_dir() + L"\\Vorlane.exe", session);
  EXPECT_EQ(admitted.exit_code, 0u) << admitted.out << admitted.err;
  const auto replies = lines(admitted.out);
  ASSERT_EQ(replies.size(), 4u) << admitted.out;
  EXPECT_TRUE(replies[1].starts_with("<< {")) << replies[1];
  EXPECT_NE(replies[1].find("\"ok\":true"), std::string::npos) << replies[1];
  EXPECT_NE(replies[1].find("\"protocol\":1"), std::string::npos) << replies[1];
  EXPECT_NE(replies[3].find("\"ok\":true"), std::string::npos) << replies[3];

  const auto stranger = keyward_from(bin_path(L"vorlane_client.exe"), session);
  EXPECT_NE(stranger.exit_code, 0u) << stranger.out;
  EXPECT_EQ(stranger.out.find("<< {"), std::string::npos) << stranger.out;
}

TEST_F(SetupInstall, ServeRefusesARecordWithARepeatedMember) {
  ASSERT_EQ(install().exit_code, 0u);
  // A second guiPath in front of the real one: a lenient reader would admit the other program.
  std::string record = read_file(record_file(wine_sid));
  record.insert(1, "\n  \"guiPath\": \"C:\\\\elsewhere\\\\Vorlane.exe\",");
  ASSERT_TRUE(write_file(record_file(wine_sid), record));

  const auto result = keyward_from(installed_program(), {L"--serve"});
  EXPECT_EQ(result.exit_code, 1u);
  expect_outcome(outcome(), false, "serve", "未找到管理员控制安装记录，请重新启用");
}

using SetupUninstall = SetupMachine;

TEST_F(SetupUninstall, OneOfTwoUsersKeepsTheSharedFiles) {
  ASSERT_EQ(install().exit_code, 0u);
  const DWORD helper = running_helper_pid();
  const std::string other_sid = "S-1-5-21-0-0-0-1001";
  ASSERT_TRUE(write_file(record_file(other_sid), read_file(record_file(wine_sid))));

  const auto result = uninstall();
  ASSERT_EQ(result.exit_code, 0u) << result.err;
  expect_outcome(outcome(), true, "uninstall", uninstall_ok);
  EXPECT_FALSE(file_exists(record_file(wine_sid)));
  EXPECT_TRUE(file_exists(record_file(other_sid)));
  EXPECT_TRUE(file_exists(installed_program()));
  EXPECT_FALSE(process_running(helper));

  const auto log = schtasks_log();
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[3], system_tool + " /Query /TN \"" + wine_task + "\"");
  EXPECT_EQ(log[4], system_tool + " /End /TN \"" + wine_task + "\"");
  EXPECT_EQ(log[5], system_tool + " /Delete /TN \"" + wine_task + "\" /F");
}

TEST_F(SetupUninstall, LastUserRemovesTheSharedFilesAndFolders) {
  ASSERT_EQ(install().exit_code, 0u);
  // A layout where the variables point, with no record left: an uninstall that followed them
  // would take it away.
  const std::wstring decoy_install = decoy_program_files() + L"\\Vorlane\\InputHelper";
  create_directories(decoy_install + L"\\users");
  ASSERT_TRUE(write_file(decoy_install + L"\\Keyward.exe", "decoy"));

  const auto result = uninstall();
  ASSERT_EQ(result.exit_code, 0u) << result.err;
  expect_outcome(outcome(), true, "uninstall", uninstall_ok);
  EXPECT_FALSE(file_exists(vorlane_dir()));
  EXPECT_TRUE(file_exists(program_files()));
  EXPECT_EQ(read_file(decoy_install + L"\\Keyward.exe"), "decoy");
  EXPECT_TRUE(folder_empty(decoy_install + L"\\users"));
}

TEST_F(SetupUninstall, RefusedDeletionFailsAndKeepsEverything) {
  ASSERT_EQ(install().exit_code, 0u);
  fail_schtasks(L"delete", 1, "ERROR: Access is denied.\r\n", "");
  const auto result = uninstall();
  EXPECT_EQ(result.exit_code, 1u);
  expect_outcome(outcome(), false, "uninstall",
                 "schtasks /Delete /TN " + wine_task + " /F 失败：ERROR: Access is denied.");
  EXPECT_TRUE(file_exists(record_file(wine_sid)));
  EXPECT_TRUE(file_exists(installed_program()));
}

TEST_F(SetupUninstall, WithoutElevationChangesNothing) {
  ASSERT_EQ(install().exit_code, 0u);
  EXPECT_EQ(keyward_not_elevated({L"--uninstall"}), 1u);
  expect_outcome(outcome(), false, "uninstall", "移除管理员控制需要管理员权限");
  EXPECT_EQ(schtasks_log().size(), 3u) << "only the install's runs";
  EXPECT_TRUE(file_exists(record_file(wine_sid)));
  EXPECT_TRUE(file_exists(installed_program()));
}

TEST_F(SetupUninstall, EndSparesAProcessThatOnlyInheritedTheHelpersId) {
  // The schtasks double must end only what its /Run started: other tests' processes may get
  // the id of a helper that has since ended, and may even be a Keyward too.
  ASSERT_EQ(install().exit_code, 0u);
  // The helper /Run started ends, and its id goes to a new process.
  if (const DWORD helper_pid = running_helper_pid()) {
    win32::unique_handle helper(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, helper_pid));
    ASSERT_TRUE(helper);
    ::TerminateProcess(helper.get(), 99);
    ::WaitForSingleObject(helper.get(), 5000);
  }
  Child bystander = Child::start(bin_path(L"Keyward.exe"),
                                 {L"--test-mode", L"--pipe", L"keyward-setup-bystander"});
  ASSERT_TRUE(bystander.running()) << bystander.err();
  ASSERT_TRUE(write_file(double_dir() + L"\\tasks\\" + widen(wine_task) + L".pid",
                         std::to_string(bystander.pid())));

  const auto result = uninstall();
  ASSERT_EQ(result.exit_code, 0u) << result.err;
  EXPECT_EQ(schtasks_log().size(), 6u) << "the /End ran";
  EXPECT_TRUE(bystander.running()) << "the /End ended a process it did not start";
  bystander.kill();
}

TEST_F(SetupUninstall, WithoutAnyInstallStillSucceeds) {
  const auto result = uninstall();
  ASSERT_EQ(result.exit_code, 0u) << result.err;
  expect_outcome(outcome(), true, "uninstall", uninstall_ok);
  EXPECT_EQ(schtasks_log().size(), 1u) << "only the /Query may run";
}

}  // namespace
}  // namespace vorlane::testing
