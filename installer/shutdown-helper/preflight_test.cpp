#include <algorithm>
#include <functional>
#include <map>
#include <optional>

#include <gtest/gtest.h>

#include "installer/shutdown-helper/preflight.hpp"
#include "src/common/manual_clock.hpp"

// The fake processes below are described with designated initialisers naming only what matters.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace vorlane::haltgate {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;

constexpr std::string_view listed_digest =
    "1111111111111111111111111111111111111111111111111111111111111111";
constexpr std::string_view other_listed_digest =
    "2222222222222222222222222222222222222222222222222222222222222222";
constexpr std::string_view unlisted_digest =
    "3333333333333333333333333333333333333333333333333333333333333333";
constexpr const char* install_dir = R"(C:\App)";
// What the fake unlock check reports while a file is locked.
constexpr const char* locked_error =
    R"(C:\App\a\b\Tool.DLL is still in use or not writable: Sharing violation. (os error 32))";

constexpr const char* walk_deadline_error =
    R"(Timed out verifying executable files; the walk had reached C:\App\big)";

// Times below are run times: milliseconds since the manual clock's start.

enum class Interface { exit_event, exit_event_denied, none };

struct FakeApp {
  std::uint32_t pid = 0;
  Interface interface = Interface::exit_event;
  milliseconds starts_at = 0ms;
  std::optional<milliseconds> exits_by_itself_at;
  // How long after a request (event or tray command) it takes to exit; absent: never.
  std::optional<milliseconds> exit_after_request = 50ms;
  std::optional<milliseconds> tray_window_from;  // an older build's tray window appears then
  bool wait_fails = false;

  std::optional<milliseconds> requested_exit_at;
  int open_handles = 0;
  std::vector<milliseconds> waits;

  std::optional<milliseconds> exit_time() const {
    if (exits_by_itself_at && requested_exit_at) {
      return std::min(*exits_by_itself_at, *requested_exit_at);
    }
    return exits_by_itself_at ? exits_by_itself_at : requested_exit_at;
  }
  bool running_at(milliseconds t) const { return starts_at <= t && !(exit_time() && *exit_time() <= t); }
  void requested(milliseconds t) {
    if (exit_after_request && !requested_exit_at) {
      requested_exit_at = t + *exit_after_request;
    }
  }
};

class FakeProcess : public Process {
 public:
  FakeProcess(FakeApp& app, ManualClock& clock) : app_(app), clock_(clock) { ++app_.open_handles; }
  ~FakeProcess() override { --app_.open_handles; }
  std::uint32_t pid() const override { return app_.pid; }
  std::expected<bool, std::string> wait(milliseconds timeout) override {
    app_.waits.push_back(timeout);
    if (app_.wait_fails) {
      return std::unexpected("Invalid handle. (os error 6)");
    }
    const milliseconds now = clock_.elapsed();
    const auto exit = app_.exit_time();
    if (exit && *exit <= now + timeout) {
      clock_.advance_to(*exit);
      return true;
    }
    clock_.advance_to(now + timeout);
    return false;
  }

 private:
  FakeApp& app_;
  ManualClock& clock_;
};

class FakeSystem : public PathKeys, public InstallationProcesses, public FileDigests, public UnlockCheck {
 public:
  explicit FakeSystem(ManualClock& clock) : clock_(clock) {}

  // The one fake serving every job of the run.
  PreflightSystem all() { return {.paths = *this, .processes = *this, .hashes = *this, .unlock = *this}; }

  std::expected<void, SystemError> read_attributes(const std::string& path) override {
    exists_queries.push_back(path);
    if (exe_error) {
      return std::unexpected(*exe_error);
    }
    if (!exe_exists) {
      return std::unexpected(SystemError{2, "The system cannot find the file specified. (os error 2)"});
    }
    return {};
  }
  std::expected<std::string, std::string> path_key(const std::string& path) override {
    if (path_key_error) {
      return std::unexpected(*path_key_error);
    }
    return "key:" + path;
  }
  std::expected<ProcessList, std::string> find_installation_processes(const std::string& key) override {
    ++find_calls;
    keys_searched.push_back(key);
    if (find_error) {
      return std::unexpected(*find_error);
    }
    ProcessList list;
    for (auto& app : apps) {
      if (app.running_at(clock_.elapsed())) {
        list.push_back(std::make_unique<FakeProcess>(app, clock_));
      }
    }
    return list;
  }
  std::expected<ExitEvent, std::string> signal_exit_event(std::uint32_t pid) override {
    FakeApp& app = find_app(pid);
    switch (app.interface) {
      case Interface::exit_event:
        ++events_signalled[pid];
        app.requested(clock_.elapsed());
        return ExitEvent::signalled;
      case Interface::exit_event_denied:
        return std::unexpected("Access denied. (os error 5)");
      case Interface::none:
        break;
    }
    return ExitEvent::not_present;
  }
  std::expected<std::string, std::string> sha256_file(const std::string& path) override {
    ++hash_calls;
    hashed_path = path;
    if (hash_error) {
      return std::unexpected(*hash_error);
    }
    return digest;
  }
  std::expected<TrayQuit, std::string> post_legacy_tray_quit(std::uint32_t pid) override {
    tray_attempts.push_back(clock_.elapsed());
    if (tray_error) {
      return std::unexpected(*tray_error);
    }
    FakeApp& app = find_app(pid);
    if (!app.tray_window_from || clock_.elapsed() < *app.tray_window_from) {
      return TrayQuit::no_tray_window;
    }
    app.requested(clock_.elapsed());
    return TrayQuit::posted;
  }
  std::expected<void, std::string> verify_unlocked(const std::string& directory,
                                                   Clock::time_point deadline) override {
    verify_times.push_back(clock_.elapsed());
    verify_deadlines.push_back(deadline);
    verified_dir = directory;
    if (walk_takes) {
      // A walk over a large tree: it stops where it is once the deadline is reached.
      if (clock_.now() + *walk_takes >= deadline) {
        clock_.advance(std::chrono::duration_cast<milliseconds>(deadline - clock_.now()));
        return std::unexpected(std::string(walk_deadline_error));
      }
      clock_.advance(*walk_takes);
    }
    if (locked_until && clock_.elapsed() < *locked_until) {
      return std::unexpected(std::string(locked_error));
    }
    return {};
  }

  FakeApp& find_app(std::uint32_t pid) {
    return *std::find_if(apps.begin(), apps.end(), [&](const FakeApp& a) { return a.pid == pid; });
  }

  std::vector<FakeApp> apps;  // fixed before the run, so references stay valid
  bool exe_exists = true;
  std::optional<SystemError> exe_error;  // reading Vorlane.exe's attributes fails with it
  std::string digest = std::string(unlisted_digest);
  std::optional<std::string> path_key_error, find_error, hash_error, tray_error;
  std::optional<milliseconds> locked_until;
  std::optional<milliseconds> walk_takes;  // how long one whole walk lasts

  std::vector<std::string> exists_queries, keys_searched;
  int find_calls = 0;
  int hash_calls = 0;
  std::string hashed_path, verified_dir;
  std::map<std::uint32_t, int> events_signalled;
  std::vector<milliseconds> tray_attempts;
  std::vector<milliseconds> verify_times;
  std::vector<Clock::time_point> verify_deadlines;

 private:
  ManualClock& clock_;
};

class FakeLog : public Log {
 public:
  explicit FakeLog(std::vector<std::string>& lines) : lines_(lines) {}
  void write_line(std::string_view text) override { lines_.emplace_back(text); }

 private:
  std::vector<std::string>& lines_;
};

const std::string begin_line = std::string("begin install_dir=") + install_dir;
const std::string success_line = "success: selected installation stopped and executable files unlocked";
std::string method_event(std::uint32_t pid) { return "pid=" + std::to_string(pid) + " method=local-exit-event-v1"; }
std::string method_tray(std::uint32_t pid) { return "pid=" + std::to_string(pid) + " method=verified-legacy-tray-quit"; }
std::string exited(std::uint32_t pid) { return "pid=" + std::to_string(pid) + " exited"; }

class Preflight : public ::testing::Test {
 protected:
  std::expected<void, RunFailure> run(milliseconds timeout = 30000ms, std::string dir = install_dir) {
    return run_preflight(dir, timeout, log, system.all(), clock, digests);
  }
  void expect_all_handles_closed() {
    for (const auto& app : system.apps) {
      EXPECT_EQ(app.open_handles, 0) << "pid " << app.pid;
    }
  }
  void expect_failure(const std::expected<void, RunFailure>& outcome, int code, const std::string& message) {
    ASSERT_FALSE(outcome.has_value());
    EXPECT_EQ(outcome.error().code, code);
    EXPECT_EQ(outcome.error().message, message);
  }

  std::vector<std::string> lines;
  FakeLog log{lines};
  ManualClock clock;
  FakeSystem system{clock};
  std::vector<std::string_view> digests{listed_digest, other_listed_digest};
};

TEST_F(Preflight, EventBuildIsSignalledOnceAwaitedAndTheFilesVerified) {
  system.apps = {FakeApp{.pid = 7}};
  ASSERT_TRUE(run().has_value());
  EXPECT_EQ(lines, (std::vector<std::string>{begin_line, method_event(7), exited(7), success_line}));
  EXPECT_EQ(system.events_signalled[7], 1);
  EXPECT_EQ(system.hash_calls, 0);
  EXPECT_EQ(system.exists_queries, std::vector<std::string>{R"(C:\App\Vorlane.exe)"});
  EXPECT_EQ(system.keys_searched.front(), R"(key:C:\App\Vorlane.exe)");
  EXPECT_EQ(system.verified_dir, install_dir);
  expect_all_handles_closed();
}

TEST_F(Preflight, ProcessesAreAskedThenAwaitedInListOrder) {
  system.apps = {FakeApp{.pid = 9, .exit_after_request = 300ms}, FakeApp{.pid = 4, .exit_after_request = 10ms}};
  ASSERT_TRUE(run().has_value());
  EXPECT_EQ(lines, (std::vector<std::string>{begin_line, method_event(9), method_event(4), exited(9),
                                             exited(4), success_line}));
  expect_all_handles_closed();
}

TEST_F(Preflight, ProcessThatNeverExitsEndsTheRunAtTheDeadlineWithShortWaits) {
  system.apps = {FakeApp{.pid = 7, .exit_after_request = std::nullopt}};
  expect_failure(run(5000ms), 10,
                 "Vorlane PID 7 did not finish cleanup before timeout; installation was not started");
  EXPECT_EQ(clock.elapsed(), 5000ms);
  EXPECT_EQ(lines, (std::vector<std::string>{begin_line, method_event(7)}));
  const auto& waits = system.apps[0].waits;
  EXPECT_TRUE(std::all_of(waits.begin(), waits.end(), [](milliseconds w) { return w <= 200ms; }));
  EXPECT_EQ(system.events_signalled[7], 1);  // the event is signalled only once
  expect_all_handles_closed();
}

struct NoInterfaceCase {
  const char* name;
  milliseconds timeout;
  int code;
  const char* message;
  milliseconds ends_at;
};
void PrintTo(const NoInterfaceCase& c, std::ostream* os) { *os << c.name; }

class PreflightNoInterface : public Preflight, public ::testing::WithParamInterface<NoInterfaceCase> {};

TEST_P(PreflightNoInterface, RetriesEvery100msThenGivesUp) {
  system.apps = {FakeApp{.pid = 7, .interface = Interface::none}};
  expect_failure(run(GetParam().timeout), GetParam().code, GetParam().message);
  EXPECT_EQ(clock.elapsed(), GetParam().ends_at);
  EXPECT_TRUE(std::all_of(clock.sleeps.begin(), clock.sleeps.end(), [](milliseconds s) { return s == 100ms; }));
  EXPECT_EQ(system.hash_calls, 1);
  EXPECT_TRUE(system.tray_attempts.empty());  // an unverified build is never sent the command
  EXPECT_EQ(lines, std::vector<std::string>{begin_line});
  expect_all_handles_closed();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PreflightNoInterface,
    ::testing::Values(
        NoInterfaceCase{"LongTimeoutGivesUpAfterThreeSeconds", 30000ms, 11,
                        "Vorlane PID 7 has no supported graceful-exit interface; no process was killed",
                        3100ms},
        NoInterfaceCase{"BudgetCountsFromTheTimeout", 4000ms, 11,
                        "Vorlane PID 7 has no supported graceful-exit interface; no process was killed",
                        3100ms},
        NoInterfaceCase{"ThreeSecondsTimesOut", 3000ms, 10, "Timed out requesting exit from Vorlane PID 7", 3000ms},
        NoInterfaceCase{"ShortTimeoutTimesOut", 2000ms, 10, "Timed out requesting exit from Vorlane PID 7", 2000ms},
        NoInterfaceCase{"ShortestTimeout", 100ms, 10, "Timed out requesting exit from Vorlane PID 7", 100ms}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Preflight, ProcessesLeavingByThemselvesGetNoMethodLineAndTheBuildIsHashedOnce) {
  system.apps = {FakeApp{.pid = 5, .interface = Interface::none, .exits_by_itself_at = 250ms},
                 FakeApp{.pid = 6, .interface = Interface::none, .exits_by_itself_at = 400ms},
                 // Started during the first pass: handled by a second pass.
                 FakeApp{.pid = 8, .interface = Interface::none, .starts_at = 300ms, .exits_by_itself_at = 650ms}};
  ASSERT_TRUE(run().has_value());
  EXPECT_EQ(lines, (std::vector<std::string>{begin_line, exited(5), exited(6), exited(8), success_line}));
  EXPECT_EQ(system.hash_calls, 1);
  EXPECT_EQ(system.hashed_path, R"(C:\App\Vorlane.exe)");
  expect_all_handles_closed();
}

TEST_F(Preflight, VerifiedOlderBuildIsRetriedUntilItsTrayWindowExistsAndRepostedEachSlice) {
  system.digest = std::string(other_listed_digest);
  system.apps = {FakeApp{.pid = 7, .interface = Interface::none, .exit_after_request = 650ms,
                         .tray_window_from = 450ms}};
  ASSERT_TRUE(run().has_value());
  EXPECT_EQ(lines, (std::vector<std::string>{begin_line, method_tray(7), exited(7), success_line}));
  // Request attempts every 100 ms until the window exists at 500, then one per 200 ms wait slice.
  EXPECT_EQ(system.tray_attempts, (std::vector<milliseconds>{0ms, 100ms, 200ms, 300ms, 400ms, 500ms, 700ms,
                                                             900ms, 1100ms}));
  EXPECT_EQ(system.hash_calls, 1);
  expect_all_handles_closed();
}

TEST_F(Preflight, VerifiedOlderBuildWithoutTrayWindowStillGivesUpAfterThreeSeconds) {
  system.digest = std::string(listed_digest);
  system.apps = {FakeApp{.pid = 7, .interface = Interface::none}};
  expect_failure(run(), 11, "Vorlane PID 7 has no supported graceful-exit interface; no process was killed");
  EXPECT_EQ(system.tray_attempts.size(), 32u);  // 0, 100, ..., 3100 ms
}

TEST_F(Preflight, HashingHappensOnceAcrossProcessesAndPasses) {
  system.digest = std::string(listed_digest);
  system.apps = {FakeApp{.pid = 1, .interface = Interface::none, .tray_window_from = 0ms},
                 FakeApp{.pid = 2, .interface = Interface::none, .tray_window_from = 0ms},
                 FakeApp{.pid = 3, .interface = Interface::none, .starts_at = 20ms, .tray_window_from = 0ms}};
  ASSERT_TRUE(run().has_value());
  EXPECT_EQ(lines, (std::vector<std::string>{begin_line, method_tray(1), method_tray(2), exited(1),
                                             exited(2), method_tray(3), exited(3), success_line}));
  EXPECT_EQ(system.hash_calls, 1);
  EXPECT_EQ(system.find_calls, 3);
}

TEST_F(Preflight, RestartFoundBeforeTheDeadlineIsHandledByAnotherPass) {
  system.apps = {FakeApp{.pid = 1, .exit_after_request = 100ms}, FakeApp{.pid = 2, .starts_at = 50ms}};
  ASSERT_TRUE(run(1000ms).has_value());
  EXPECT_EQ(lines, (std::vector<std::string>{begin_line, method_event(1), exited(1), method_event(2),
                                             exited(2), success_line}));
  expect_all_handles_closed();
}

TEST_F(Preflight, RestartFoundAfterTheDeadlineTimesOut) {
  // The first process exits exactly at the deadline; a new one started meanwhile.
  system.apps = {FakeApp{.pid = 1, .exit_after_request = 1000ms}, FakeApp{.pid = 2, .starts_at = 500ms}};
  expect_failure(run(1000ms), 10, "Vorlane restarted during installation preflight");
  EXPECT_EQ(lines, (std::vector<std::string>{begin_line, method_event(1), exited(1)}));
  EXPECT_EQ(system.events_signalled.count(2), 0u);  // the late one is not asked
  expect_all_handles_closed();
}

TEST_F(Preflight, AccessDeniedOnTheExitEventIsASystemErrorNotAMissingInterface) {
  system.apps = {FakeApp{.pid = 7, .interface = Interface::exit_event_denied}};
  expect_failure(run(), 12, "Access denied. (os error 5)");
  EXPECT_EQ(system.hash_calls, 0);
  EXPECT_EQ(clock.elapsed(), 0ms);
  expect_all_handles_closed();
}

struct SystemErrorCase {
  const char* name;
  std::function<void(FakeSystem&)> arrange;
  const char* message;
};
void PrintTo(const SystemErrorCase& c, std::ostream* os) { *os << c.name; }

class PreflightSystemError : public Preflight, public ::testing::WithParamInterface<SystemErrorCase> {};

TEST_P(PreflightSystemError, EndsTheRunWithCode12AndTheErrorText) {
  system.digest = std::string(listed_digest);
  system.apps = {FakeApp{.pid = 7, .interface = Interface::none, .tray_window_from = 0ms}};
  GetParam().arrange(system);
  expect_failure(run(), 12, GetParam().message);
  EXPECT_EQ(lines, std::vector<std::string>{begin_line});
  expect_all_handles_closed();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PreflightSystemError,
    ::testing::Values(
        SystemErrorCase{"PathKey", [](FakeSystem& s) { s.path_key_error = "Path not found. (os error 3)"; },
                        "Path not found. (os error 3)"},
        SystemErrorCase{"Enumeration", [](FakeSystem& s) { s.find_error = "Access denied. (os error 5)"; },
                        "Access denied. (os error 5)"},
        SystemErrorCase{"Hashing", [](FakeSystem& s) { s.hash_error = "SHA256 status 0xc0000002"; },
                        "SHA256 status 0xc0000002"},
        SystemErrorCase{"TrayPost", [](FakeSystem& s) { s.tray_error = "Invalid window handle. (os error 1400)"; },
                        "Invalid window handle. (os error 1400)"},
        SystemErrorCase{"Wait", [](FakeSystem& s) { s.apps[0].wait_fails = true; },
                        "Invalid handle. (os error 6)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Preflight, LockedFilesAreLoggedEachAttemptUntilReleased) {
  system.locked_until = 350ms;
  ASSERT_TRUE(run().has_value());
  const std::string locked = locked_error;
  EXPECT_EQ(lines, (std::vector<std::string>{begin_line, locked, locked, locked, locked, success_line}));
  EXPECT_EQ(system.verify_times, (std::vector<milliseconds>{0ms, 100ms, 200ms, 300ms, 400ms}));
}

TEST_F(Preflight, FilesStillLockedAtTheDeadlineFailWith12) {
  system.locked_until = 1h;
  const std::string locked = locked_error;
  expect_failure(run(1000ms), 12, locked);
  EXPECT_EQ(clock.elapsed(), 1000ms);
  EXPECT_EQ(lines.size(), 11u);  // begin, then one line per attempt at 0, 100, ..., 900 ms
  EXPECT_EQ(lines.back(), locked);
}

TEST_F(Preflight, WithoutVorlaneExeTheFilesAreVerifiedOnceAndNothingElseHappens) {
  system.exe_exists = false;
  system.apps = {FakeApp{.pid = 7}};
  ASSERT_TRUE(run().has_value());
  EXPECT_EQ(lines, std::vector<std::string>{begin_line});  // no success line on this path
  EXPECT_EQ(system.find_calls, 0);

  lines.clear();
  system.locked_until = 1h;
  expect_failure(run(), 12, locked_error);
  EXPECT_EQ(lines, std::vector<std::string>{begin_line});
  EXPECT_EQ(system.verify_times.size(), 2u);  // once per run, never retried
}

// Only "not found" shows that Vorlane.exe is absent; any other failure to read its attributes
// (a name the system rejects, a share that refuses the run) may hide a running installation.
struct ExeCheckCase {
  const char* name;
  SystemError error;
  bool absent;
};
void PrintTo(const ExeCheckCase& c, std::ostream* os) { *os << c.name; }

class PreflightExeCheck : public Preflight, public ::testing::WithParamInterface<ExeCheckCase> {};

TEST_P(PreflightExeCheck, OnlyNotFoundMeansNoVorlaneExe) {
  system.exe_error = GetParam().error;
  system.apps = {FakeApp{.pid = 7}};
  const auto outcome = run(5000ms);
  if (GetParam().absent) {
    ASSERT_TRUE(outcome.has_value());
    // The one walk of this path is bounded by the run's timeout.
    EXPECT_EQ(system.verify_deadlines, std::vector<Clock::time_point>{clock.now() + 5000ms});
  } else {
    expect_failure(outcome, 12, GetParam().error.text);
    EXPECT_TRUE(system.verify_times.empty());
  }
  EXPECT_EQ(lines, std::vector<std::string>{begin_line});
  EXPECT_EQ(system.find_calls, 0);
  EXPECT_TRUE(system.events_signalled.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PreflightExeCheck,
    ::testing::Values(
        ExeCheckCase{"FileNotFound", {2, "The system cannot find the file specified. (os error 2)"}, true},
        ExeCheckCase{"PathNotFound", {3, "The system cannot find the path specified. (os error 3)"}, true},
        ExeCheckCase{"InvalidName",
                     {123, "The filename, directory name, or volume label syntax is incorrect. (os error 123)"},
                     false},
        ExeCheckCase{"AccessDenied", {5, "Access is denied. (os error 5)"}, false},
        ExeCheckCase{"NetworkPathNotFound", {53, "The network path was not found. (os error 53)"}, false},
        ExeCheckCase{"BadNetworkName", {67, "The network name cannot be found. (os error 67)"}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Preflight, EveryWalkOfTheFinalLoopGetsTheRunsDeadlineAndNoneStartsAfterIt) {
  system.locked_until = 1h;
  const Clock::time_point deadline = clock.now() + 1000ms;
  expect_failure(run(1000ms), 12, locked_error);
  EXPECT_EQ(system.verify_times, (std::vector<milliseconds>{0ms, 100ms, 200ms, 300ms, 400ms, 500ms, 600ms,
                                                            700ms, 800ms, 900ms}));
  EXPECT_TRUE(std::all_of(system.verify_deadlines.begin(), system.verify_deadlines.end(),
                          [&](Clock::time_point d) { return d == deadline; }));
}

TEST_F(Preflight, WalkThatReachesTheDeadlineEndsTheRunWithItsText) {
  system.locked_until = 1h;
  system.walk_takes = 300ms;
  expect_failure(run(1000ms), 12, walk_deadline_error);
  EXPECT_EQ(clock.elapsed(), 1000ms);
  const std::string locked = locked_error;
  // Walks at 0 and 400 ms found the file locked; the third stopped at the deadline.
  EXPECT_EQ(lines, (std::vector<std::string>{begin_line, locked, locked}));

  lines.clear();
  system.exe_exists = false;  // the one walk without Vorlane.exe is bounded by the timeout too
  expect_failure(run(200ms), 12, walk_deadline_error);
  EXPECT_EQ(lines, std::vector<std::string>{begin_line});
}

TEST_F(Preflight, RelativeInstallationDirectoryFailsBeforeTheBeginLine) {
  for (const char* dir : {R"(App)", R"(\App)", "C:App"}) {
    expect_failure(run(30000ms, dir), 12, "Installation path must be absolute");
  }
  EXPECT_TRUE(lines.empty());
  EXPECT_TRUE(system.exists_queries.empty());
}

// The entry: command line, log folders, log, failure line.
class FakeEntry : public EntrySystem {
 public:
  bool create_directory(const std::string& path) override {
    created.push_back(path);
    return path != fail_create;
  }
  std::unique_ptr<Log> open_log(const std::string& path) override {
    opened.push_back(path);
    if (fail_open) {
      return nullptr;
    }
    return std::make_unique<FakeLog>(lines);
  }
  std::vector<std::string> created, opened, lines;
  std::string fail_create;
  bool fail_open = false;
};

struct EntryCase {
  const char* name;
  std::vector<std::string> args;
  int code;
  bool log_opened;
  std::vector<std::string> lines;
};
void PrintTo(const EntryCase& c, std::ostream* os) { *os << c.name; }

class Entry : public ::testing::TestWithParam<EntryCase> {
 protected:
  void SetUp() override { system.exe_exists = false; }
  ManualClock clock;
  FakeSystem system{clock};
  FakeEntry entry;
};

TEST_P(Entry, UsageErrorsWriteNothingAndLaterFailuresOneLine) {
  std::vector<std::string> words{R"(C:\Setup\Haltgate.exe)"};
  words.insert(words.end(), GetParam().args.begin(), GetParam().args.end());
  EXPECT_EQ(run_haltgate(words, entry, system.all(), clock, {}), GetParam().code);
  EXPECT_EQ(!entry.opened.empty(), GetParam().log_opened);
  EXPECT_EQ(entry.lines, GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Entry,
    ::testing::Values(
        EntryCase{"NoArguments", {}, 12, false, {}},
        // A relative installation directory is reported only once the log is open, so each
        // usage error below wins over it.
        EntryCase{"InvalidTimeoutWinsOverRelativeInstallDir",
                  {"--install-dir", "App", "--log", R"(C:\h.log)", "--timeout-ms", "120001"}, 12, false, {}},
        EntryCase{"RelativeLogWinsOverRelativeInstallDir", {"--install-dir", "App", "--log", "h.log"}, 12, false, {}},
        EntryCase{"RelativeInstallDirIsLogged",
                  {"--install-dir", "App", "--log", R"(C:\h.log)"}, 12, true,
                  {"failure code=12 Installation path must be absolute"}},
        EntryCase{"MissingInstallationSucceedsQuietly",
                  {"--install-dir", R"(C:\App)", "--log", R"(C:\h.log)", "--timeout-ms", "100"}, 0, true,
                  {begin_line}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EntryLog, FoldersAboveTheLogAreCreatedFirstAndAFailureStopsTheRun) {
  ManualClock clock;
  FakeSystem system{clock};
  system.exe_exists = false;
  const std::vector<std::string> words{"Haltgate.exe", "--install-dir", R"(C:\App)", "--log", R"(C:\logs\setup\h.log)"};

  FakeEntry entry;
  EXPECT_EQ(run_haltgate(words, entry, system.all(), clock, {}), 0);
  EXPECT_EQ(entry.created, (std::vector<std::string>{R"(C:\logs)", R"(C:\logs\setup)"}));
  EXPECT_EQ(entry.opened, std::vector<std::string>{R"(C:\logs\setup\h.log)"});

  FakeEntry failing;
  failing.fail_create = R"(C:\logs)";
  EXPECT_EQ(run_haltgate(words, failing, system.all(), clock, {}), 12);
  EXPECT_TRUE(failing.opened.empty());

  FakeEntry unopenable;
  unopenable.fail_open = true;
  EXPECT_EQ(run_haltgate(words, unopenable, system.all(), clock, {}), 12);
  EXPECT_EQ(system.verify_times.size(), 1u);  // only the first run got as far as the check
}

}  // namespace
}  // namespace vorlane::haltgate
