// The Restart Manager adapter and Haltgate's log under Wine, whose Restart Manager answers every
// query and names nobody. What a real Windows host names is held to the holder's own process id.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "installer/shutdown-helper/clock_win32.hpp"
#include "installer/shutdown-helper/holders_win32.hpp"
#include "tests/support/win_process.hpp"

namespace vorlane::testing {
namespace {

using namespace std::chrono_literals;

// A library held open without sharing by a copy of the stand-in that offers no way to ask it.
class HeldLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    create_directories(root / L"install\\lib");
    ASSERT_TRUE(write_file(dll, "not really a library"));
    ASSERT_TRUE(copy_file(bin_path(L"vorlane_app.exe"), root / L"holder.exe"));
    // A Vorlane.exe that does not run: the files are checked every 100 ms until the deadline.
    ASSERT_TRUE(copy_file(bin_path(L"vorlane_app.exe"), root / L"install\\Vorlane.exe"));
    const std::wstring ready = root / L"ready";
    holder = Child::start_until_ready(root / L"holder.exe", {L"--mode", L"none", L"--hold", dll}, ready);
    ASSERT_TRUE(file_exists(ready)) << "the holder did not come up";
  }
  void TearDown() override { holder.kill(); }

  TempDir root;
  std::wstring dll = root / L"install\\lib\\Core.dll";
  Child holder;
};

TEST_F(HeldLibrary, TheRestartManagerAnswersWithinTheBoundAndNamesOnlyTheHolder) {
  haltgate::PerformanceClockWin32 clock;
  haltgate::FileHoldersWin32 holders(clock);
  const auto started = std::chrono::steady_clock::now();
  const auto answer = holders.holders_of(narrow(dll), 1000ms);
  const auto took = std::chrono::steady_clock::now() - started;
  ASSERT_TRUE(answer.has_value()) << answer.error();  // rstrtmgr.dll found in the system folder
  EXPECT_LT(took, 1000ms);
  for (const auto& named : *answer) {  // Wine names nobody; Windows names the holder
    EXPECT_EQ(named.pid, holder.pid()) << named.app;
  }
}

TEST_F(HeldLibrary, HaltgateLogsTheLockedFileOnEachAttemptAndNothingElse) {
  const std::wstring log = root / L"h.log";
  const RunResult result =
      run(bin_path(L"Haltgate.exe"), {L"--install-dir", root / L"install", L"--log", log, L"--timeout-ms", L"1000"});
  EXPECT_EQ(result.exit_code, 12u);
  std::vector<std::string> texts;
  for (const std::string& line : lines(read_file(log))) {
    texts.push_back(line.substr(line.find(' ') + 1));
  }
  const std::string locked = narrow(dll) + " is still in use or not writable: Sharing violation. (os error 32)";
  ASSERT_GE(texts.size(), 4u);
  EXPECT_EQ(texts.front(), "begin install_dir=" + narrow(root / L"install"));
  EXPECT_EQ(texts.back(), "failure code=12 " + locked);
  for (std::size_t i = 1; i + 1 < texts.size(); ++i) {
    EXPECT_EQ(texts[i], locked) << "line " << i;
  }
}

}  // namespace
}  // namespace vorlane::testing
