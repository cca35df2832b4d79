// Haltgate.exe under Wine against stand-in Vorlane.exe processes in throwaway installations.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/win_process.hpp"

namespace vorlane::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Log lines without their time stamps; every time stamp must be decimal milliseconds.
std::vector<std::string> log_texts(const std::wstring& log_path) {
  std::vector<std::string> texts;
  for (const std::string& line : lines(read_file(log_path))) {
    const auto space = line.find(' ');
    EXPECT_NE(space, std::string::npos) << line;
    EXPECT_TRUE(space > 0 && std::all_of(line.begin(), line.begin() + space, ::isdigit)) << line;
    texts.push_back(line.substr(space + 1));
  }
  return texts;
}

bool contains(const std::vector<std::string>& texts, const std::string& text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

std::string pid_line(DWORD pid, const char* rest) { return "pid=" + std::to_string(pid) + rest; }

// A throwaway installation holding a copy of the stand-in as Vorlane.exe, and the log beside it.
class Installation {
 public:
  Installation() {
    create_directories(dir());
    EXPECT_TRUE(copy_file(bin_path(L"vorlane_app.exe"), exe()));
  }
  std::wstring dir() const { return root_ / L"install"; }
  std::wstring exe() const { return dir() + L"\\Vorlane.exe"; }
  std::wstring log() const { return root_ / L"logs\\haltgate.log"; }
  std::wstring file(const std::wstring& name) const { return root_ / name; }

  // Starts the installation's Vorlane.exe (or another program) and waits until it is set up.
  Child start(std::vector<std::wstring> args, const std::wstring& program = {}) {
    const std::wstring ready = root_ / (L"ready-" + std::to_wstring(ready_count_++));
    Child child = Child::start_until_ready(program.empty() ? exe() : program, std::move(args), ready);
    EXPECT_TRUE(file_exists(ready)) << "stand-in did not come up";
    return child;
  }

  RunResult haltgate(std::vector<std::wstring> extra = {}, const wchar_t* program = L"Haltgate.exe") {
    std::vector<std::wstring> args{L"--install-dir", dir(), L"--log", log()};
    args.insert(args.end(), extra.begin(), extra.end());
    return run(bin_path(program), args, {}, 100s);
  }

  std::vector<std::string> log_lines() const { return log_texts(log()); }
  std::string begin_line() const { return "begin install_dir=" + narrow(dir()); }

 private:
  TempDir root_;
  int ready_count_ = 0;
};

constexpr const char* success_line = "success: selected installation stopped and executable files unlocked";

TEST(HaltgateWin, EventBuildIsAskedAwaitedAndReported) {
  Installation inst;
  Child app = inst.start({L"--mode", L"event", L"--exit-delay-ms", L"300"});
  const RunResult result = inst.haltgate();
  EXPECT_EQ(result.exit_code, 0u);
  EXPECT_TRUE(result.out.empty() && result.err.empty());  // a GUI program without output
  EXPECT_EQ(inst.log_lines(),
            (std::vector<std::string>{inst.begin_line(), pid_line(app.pid(), " method=local-exit-event-v1"),
                                      pid_line(app.pid(), " exited"), success_line}));
  EXPECT_EQ(app.wait(5s), std::optional<DWORD>(0));  // it left by itself
}

TEST(HaltgateWin, TwoEventBuildsAreBothStopped) {
  Installation inst;
  Child first = inst.start({L"--exit-delay-ms", L"200"});
  Child second = inst.start({L"--exit-delay-ms", L"400"});
  EXPECT_EQ(inst.haltgate().exit_code, 0u);
  const auto texts = inst.log_lines();
  ASSERT_EQ(texts.size(), 6u);
  for (const Child* app : {&first, &second}) {
    const auto asked = std::find(texts.begin(), texts.end(), pid_line(app->pid(), " method=local-exit-event-v1"));
    const auto exited = std::find(texts.begin(), texts.end(), pid_line(app->pid(), " exited"));
    EXPECT_TRUE(asked != texts.end() && exited != texts.end() && asked < exited);
    EXPECT_FALSE(app->running());
  }
  EXPECT_EQ(texts.back(), success_line);
}

TEST(HaltgateWin, ProcessThatNeverExitsTimesOutAndIsLeftRunning) {
  Installation inst;
  Child app = inst.start({L"--ignore-request"});
  const RunResult result = inst.haltgate({L"--timeout-ms", L"1500"});
  EXPECT_EQ(result.exit_code, 10u);
  EXPECT_EQ(inst.log_lines().back(),
            "failure code=10 Vorlane PID " + std::to_string(app.pid()) +
                " did not finish cleanup before timeout; installation was not started");
  EXPECT_TRUE(app.running());  // never terminated by Haltgate
  app.kill();
}

struct NoInterfaceCase {
  const char* name;
  const wchar_t* timeout;
  DWORD code;
  bool no_interface;  // 11 rather than a timeout
};
void PrintTo(const NoInterfaceCase& c, std::ostream* os) { *os << c.name; }

class HaltgateNoInterface : public ::testing::TestWithParam<NoInterfaceCase> {};

TEST_P(HaltgateNoInterface, NothingIsKilled) {
  Installation inst;
  Child app = inst.start({L"--mode", L"none"});
  const auto started = Clock::now();
  const RunResult result = inst.haltgate({L"--timeout-ms", GetParam().timeout});
  const auto took = Clock::now() - started;
  EXPECT_EQ(result.exit_code, GetParam().code);
  const std::string pid = std::to_string(app.pid());
  const std::string expected =
      GetParam().no_interface
          ? "failure code=11 Vorlane PID " + pid + " has no supported graceful-exit interface; no process was killed"
          : "failure code=10 Timed out requesting exit from Vorlane PID " + pid;
  EXPECT_EQ(inst.log_lines(), (std::vector<std::string>{inst.begin_line(), expected}));
  EXPECT_GE(took, 2500ms);  // the interface is sought for about 3 s (or the whole short timeout)
  EXPECT_TRUE(app.running());
  app.kill();
}

INSTANTIATE_TEST_SUITE_P(Cases, HaltgateNoInterface,
                         ::testing::Values(NoInterfaceCase{"GivesUpAfterThreeSeconds", L"30000", 11, true},
                                           NoInterfaceCase{"ShortTimeoutTimesOut", L"3000", 10, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HaltgateWin, VerifiedOlderBuildQuitsThroughItsTrayWindow) {
  Installation inst;
  const std::wstring record = inst.file(L"commands.txt");
  // Its windows appear only after a while, so the command is retried until they exist.
  Child app = inst.start({L"--mode", L"legacy", L"--tray-delay-ms", L"700", L"--record", record});
  const RunResult result = inst.haltgate({}, L"Haltgate_legacytest.exe");
  EXPECT_EQ(result.exit_code, 0u);
  EXPECT_EQ(inst.log_lines(),
            (std::vector<std::string>{inst.begin_line(), pid_line(app.pid(), " method=verified-legacy-tray-quit"),
                                      pid_line(app.pid(), " exited"), success_line}));
  EXPECT_EQ(lines(read_file(record)).front(), "command 1003");
  EXPECT_EQ(app.wait(5s), std::optional<DWORD>(0));
}

TEST(HaltgateWin, UnverifiedOlderBuildIsNeverSentTheCommand) {
  Installation inst;
  const std::wstring record = inst.file(L"commands.txt");
  Child app = inst.start({L"--mode", L"legacy", L"--record", record});
  EXPECT_EQ(inst.haltgate().exit_code, 11u);  // the shipped digests name no build
  EXPECT_EQ(read_file(record), "");
  EXPECT_TRUE(app.running());
  app.kill();
}

TEST(HaltgateWin, EventThatOnlyTheSystemMaySignalIsAnError) {
  Installation inst;
  Child app = inst.start({L"--mode", L"event-denied"});
  EXPECT_EQ(inst.haltgate().exit_code, 12u);
  const auto texts = inst.log_lines();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_TRUE(texts[1].starts_with("failure code=12 ")) << texts[1];
  EXPECT_TRUE(texts[1].ends_with("(os error 5)")) << texts[1];
  EXPECT_TRUE(app.running());
  app.kill();
}

TEST(HaltgateWin, VorlaneOfAnotherFolderIsLeftAlone) {
  Installation target;
  Installation other;
  Child foreign = other.start({});
  EXPECT_EQ(target.haltgate().exit_code, 0u);
  EXPECT_EQ(target.log_lines(), (std::vector<std::string>{target.begin_line(), success_line}));
  EXPECT_TRUE(foreign.running());
}

TEST(HaltgateWin, InstallationDirectoryInOtherLetterCaseStillMatches) {
  Installation inst;
  Child app = inst.start({});
  std::wstring upper = inst.dir();
  std::transform(upper.begin(), upper.end(), upper.begin(), ::towupper);
  const RunResult result = run(bin_path(L"Haltgate.exe"), {L"--install-dir", upper, L"--log", inst.log()}, {}, 100s);
  EXPECT_EQ(result.exit_code, 0u);
  EXPECT_TRUE(contains(inst.log_lines(), pid_line(app.pid(), " method=local-exit-event-v1")));
  EXPECT_FALSE(app.running());
}

TEST(HaltgateWin, VorlaneStartedThroughItsShortNameIsFound) {
  Installation inst;
  wchar_t short_path[MAX_PATH];
  const DWORD length = ::GetShortPathNameW(inst.exe().c_str(), short_path, MAX_PATH);
  ASSERT_GT(length, 0u);
  ASSERT_NE(std::wstring(short_path, length), inst.exe());  // the folder names are long ones
  Child app = inst.start({}, std::wstring(short_path, length));
  EXPECT_EQ(inst.haltgate().exit_code, 0u);
  EXPECT_TRUE(contains(inst.log_lines(), pid_line(app.pid(), " method=local-exit-event-v1")));
  EXPECT_FALSE(app.running());
}

// Executable files held open by another program (a stand-in from elsewhere, with no interface).
class HaltgateLocks : public ::testing::Test {
 protected:
  void SetUp() override {
    create_directories(inst.dir() + L"\\a\\b");
    ASSERT_TRUE(write_file(dll, "not really a library"));
    holder_exe = inst.file(L"holder.exe");
    ASSERT_TRUE(copy_file(bin_path(L"vorlane_app.exe"), holder_exe));
  }
  Installation inst;
  std::wstring dll = inst.dir() + L"\\a\\b\\Tool.DLL";
  std::wstring holder_exe;
};

TEST_F(HaltgateLocks, LockedLibraryTwoFoldersDownFailsWithItsFullPath) {
  Child holder = inst.start({L"--mode", L"none", L"--hold", dll}, holder_exe);
  EXPECT_EQ(inst.haltgate({L"--timeout-ms", L"1000"}).exit_code, 12u);
  const std::string locked = narrow(dll) + " is still in use or not writable: Sharing violation. (os error 32)";
  const auto texts = inst.log_lines();
  ASSERT_GE(texts.size(), 3u);
  EXPECT_EQ(texts[1], locked);  // logged on each attempt before the deadline
  EXPECT_EQ(texts.back(), "failure code=12 " + locked);
  holder.kill();
}

TEST_F(HaltgateLocks, FileReleasedDuringTheFinalLoopLetsTheRunSucceed) {
  Child holder = inst.start({L"--mode", L"none", L"--hold", dll, L"--hold-ms", L"1500"}, holder_exe);
  EXPECT_EQ(inst.haltgate({L"--timeout-ms", L"20000"}).exit_code, 0u);
  const auto texts = inst.log_lines();
  ASSERT_GE(texts.size(), 3u);
  EXPECT_TRUE(texts[1].starts_with(narrow(dll) + " is still in use")) << texts[1];
  EXPECT_EQ(texts.back(), success_line);
  holder.kill();
}

TEST_F(HaltgateLocks, OtherExtensionsAreNeverOpened) {
  const wchar_t* const names[] = {L"\\a\\settings.json", L"\\a\\b\\old.exe.bak", L"\\.exe"};
  for (const wchar_t* name : names) {
    ASSERT_TRUE(write_file(inst.dir() + name, "x"));
  }
  std::vector<Child> holders;
  for (const wchar_t* name : names) {
    holders.push_back(inst.start({L"--mode", L"none", L"--hold", inst.dir() + name}, holder_exe));
  }
  EXPECT_EQ(inst.haltgate({L"--timeout-ms", L"1000"}).exit_code, 0u);
  for (auto& holder : holders) {
    holder.kill();
  }
}

TEST_F(HaltgateLocks, ReadOnlyExecutableFollowsWhatAnExclusiveOpenReports) {
  // Under Wine run as root an exclusive write open of a read-only file succeeds; as another
  // user it is refused. Haltgate must agree with the system either way.
  const std::wstring tool = inst.dir() + L"\\a\\tool.exe";
  ASSERT_TRUE(write_file(tool, "x"));
  ASSERT_TRUE(::SetFileAttributesW(tool.c_str(), FILE_ATTRIBUTE_READONLY));
  const HANDLE probe = ::CreateFileW(tool.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  const bool writable = probe != INVALID_HANDLE_VALUE;
  if (writable) {
    ::CloseHandle(probe);
  }
  EXPECT_EQ(inst.haltgate({L"--timeout-ms", L"300"}).exit_code, writable ? 0u : 12u);
  if (!writable) {
    EXPECT_EQ(inst.log_lines().back(),
              "failure code=12 " + narrow(tool) + " is still in use or not writable: Access denied. (os error 5)");
  }
  ::SetFileAttributesW(tool.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Layouts whose names an ordinary path rewrites or cannot reach: made and held through their
// verbatim "\\?\" paths. Each held file fails the run, named under the folder as given.
std::wstring verbatim(const std::wstring& path) { return L"\\\\?\\" + path; }

// Removes what TempDir's ordinary paths cannot ("lib." is "lib" to them).
void remove_verbatim_tree(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  const HANDLE find = ::FindFirstFileW((verbatim(path) + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        remove_verbatim_tree(path + L"\\" + name);
      } else {
        ::DeleteFileW(verbatim(path + L"\\" + name).c_str());
      }
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
  }
  ::RemoveDirectoryW(verbatim(path).c_str());
}

std::wstring long_chain() {
  std::wstring chain;
  for (int i = 0; i < 12; ++i) {
    chain += L"folder-" + std::to_wstring(i) + L"-of-a-deep-installation\\";  // 30 characters each
  }
  return chain + L"codec.dll";
}

struct HeldFileCase {
  const char* name;
  std::wstring relative;
};
void PrintTo(const HeldFileCase& c, std::ostream* os) { *os << c.name; }

class HaltgateHeldFile : public ::testing::TestWithParam<HeldFileCase> {};

TEST_P(HaltgateHeldFile, FailsTheRunAndIsNamed) {
  Installation inst;
  const std::wstring file = inst.dir() + L"\\" + GetParam().relative;
  ASSERT_GT(file.size(), GetParam().relative.size());
  create_directories(verbatim(file.substr(0, file.rfind(L'\\'))));
  ASSERT_TRUE(write_file(verbatim(file), "not really a library"));
  const std::wstring holder_exe = inst.file(L"holder.exe");
  ASSERT_TRUE(copy_file(bin_path(L"vorlane_app.exe"), holder_exe));
  Child holder = inst.start({L"--mode", L"none", L"--hold", verbatim(file)}, holder_exe);

  EXPECT_EQ(inst.haltgate({L"--timeout-ms", L"1000"}).exit_code, 12u);
  const std::string locked = narrow(file) + " is still in use or not writable: Sharing violation. (os error 32)";
  const auto texts = inst.log_lines();
  ASSERT_GE(texts.size(), 3u);
  EXPECT_EQ(texts[1], locked);
  EXPECT_EQ(texts.back(), "failure code=12 " + locked);
  holder.kill();
  remove_verbatim_tree(inst.dir());
}

INSTANTIATE_TEST_SUITE_P(Cases, HaltgateHeldFile,
                         ::testing::Values(HeldFileCase{"FolderNameEndingInADot", L"lib.\\codec.dll"},
                                           HeldFileCase{"UnderAChainLongerThan260", long_chain()},
                                           HeldFileCase{"LibraryTwoLevelsDown", L"a\\b\\Tool.DLL"}),
                         [](const auto& info) { return std::string(info.param.name); });

// Spellings of one running installation whose Vorlane.exe ignores every request: none may
// give 0, and nothing is ever ended. A spelling the system cannot open is an error, never an
// empty installation.
struct SpellingCase {
  const char* name;
  std::wstring prefix, suffix;
  DWORD code;
};
void PrintTo(const SpellingCase& c, std::ostream* os) { *os << c.name; }

class HaltgateSpelling : public ::testing::TestWithParam<SpellingCase> {};

TEST_P(HaltgateSpelling, OfARunningInstallationNeverGivesGoAhead) {
  Installation inst;
  Child app = inst.start({L"--ignore-request"});
  const std::wstring spelled = GetParam().prefix + inst.dir() + GetParam().suffix;
  const RunResult result =
      run(bin_path(L"Haltgate.exe"), {L"--install-dir", spelled, L"--log", inst.log(), L"--timeout-ms", L"1500"}, {},
          100s);
  EXPECT_EQ(result.exit_code, GetParam().code);
  const auto texts = inst.log_lines();
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts.front(), "begin install_dir=" + narrow(spelled));
  EXPECT_TRUE(texts.back().starts_with("failure code=" + std::to_string(GetParam().code) + " ")) << texts.back();
  EXPECT_TRUE(app.running());
  app.kill();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HaltgateSpelling,
    ::testing::Values(SpellingCase{"Plain", L"", L"", 10}, SpellingCase{"TrailingSeparator", L"", L"\\", 10},
                      SpellingCase{"Verbatim", L"\\\\?\\", L"", 10},
                      SpellingCase{"VerbatimTrailingSeparator", L"\\\\?\\", L"\\", 10},
                      // An empty last component: the system rejects the name (os error 123).
                      SpellingCase{"VerbatimDoubledSeparator", L"\\\\?\\", L"\\\\", 12}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HaltgateWin, WithoutVorlaneExeOnlyTheFilesAreCheckedAndRunsAppend) {
  Installation inst;
  ::DeleteFileW(inst.exe().c_str());
  EXPECT_EQ(inst.haltgate().exit_code, 0u);  // the log folders are created on the way
  EXPECT_EQ(inst.haltgate().exit_code, 0u);
  EXPECT_EQ(inst.log_lines(), (std::vector<std::string>{inst.begin_line(), inst.begin_line()}));
  const std::string bytes = read_file(inst.log());
  EXPECT_EQ(bytes.find('\r'), std::string::npos);
}

TEST(HaltgateWin, LineBreakInTheInstallDirCannotForgeLogLines) {
  TempDir dir;
  const std::wstring log = dir / L"h.log";
  const std::wstring forged =
      dir.path() + L"\\install\n1 success: selected installation stopped and executable files unlocked";
  // No system takes such a name, and a name it rejects is not an absent installation.
  EXPECT_EQ(run(bin_path(L"Haltgate.exe"), {L"--install-dir", forged, L"--log", log}).exit_code, 12u);
  // The break is shown as U+FFFD, so the forged text stays inside the begin line.
  const auto texts = log_texts(log);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], "begin install_dir=" + narrow(dir.path()) + "\\install\xEF\xBF\xBD" + "1 " + success_line);
  EXPECT_TRUE(texts[1].starts_with("failure code=12 ") && texts[1].ends_with(" (os error 123)")) << texts[1];
}

TEST(HaltgateWin, UsageErrorsWriteNothing) {
  TempDir dir;
  wchar_t cwd[MAX_PATH];
  ::GetCurrentDirectoryW(MAX_PATH, cwd);
  const std::wstring relative_log = L"haltgate-relative-" + std::to_wstring(::GetCurrentProcessId()) + L".log";

  const RunResult none = run(bin_path(L"Haltgate.exe"), {});
  EXPECT_EQ(none.exit_code, 12u);
  EXPECT_TRUE(none.out.empty() && none.err.empty());

  EXPECT_EQ(run(bin_path(L"Haltgate.exe"), {L"--install-dir", dir.path(), L"--log", relative_log}).exit_code, 12u);
  EXPECT_FALSE(file_exists(std::wstring(cwd) + L"\\" + relative_log));

  const std::wstring log = dir / L"h.log";
  EXPECT_EQ(run(bin_path(L"Haltgate.exe"), {L"--install-dir", dir.path(), L"--log", log, L"--timeout-ms", L"99"})
                .exit_code,
            12u);
  EXPECT_FALSE(file_exists(log));

  EXPECT_EQ(run(bin_path(L"Haltgate.exe"), {L"--install-dir", L"relative", L"--log", log}).exit_code, 12u);
  EXPECT_EQ(log_texts(log), std::vector<std::string>{"failure code=12 Installation path must be absolute"});
}

}  // namespace
}  // namespace vorlane::testing
