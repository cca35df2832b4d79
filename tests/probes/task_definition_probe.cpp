// Probe: the system's task scheduler takes the logon task definition the install writes, for
// the user running the kit and the kit's Keyward.exe. The task gets a name of its own, so an
// installed helper's task is never touched, and is deleted again. Registers a task: throwaway
// machines only.
#include <windows.h>

#include <gtest/gtest.h>

#include "src/setup/task_definition.hpp"
#include "src/system/queries_win32.hpp"
#include "tests/probes/probe.hpp"
#include "tests/support/win_process.hpp"

namespace vorlane::testing {
namespace {

std::wstring system_tool() {
  wchar_t buffer[MAX_PATH];
  const UINT n = ::GetSystemDirectoryW(buffer, MAX_PATH);
  return std::wstring(buffer, n) + L"\\schtasks.exe";
}

// Deletes the task on the way out, whatever the probe found.
class TaskRemoval {
 public:
  explicit TaskRemoval(std::wstring name) : name_(std::move(name)) {}
  ~TaskRemoval() { (void)run(system_tool(), {L"/Delete", L"/TN", name_, L"/F"}); }
  TaskRemoval(const TaskRemoval&) = delete;
  TaskRemoval& operator=(const TaskRemoval&) = delete;

 private:
  std::wstring name_;
};

TEST(TaskScheduler, TakesTheDefinitionTheInstallWrites) {
  // Wine's tool stores any file it is given: a pass there would prove nothing.
  VORLANE_PROBE_REQUIRE(!wine_version(), "schtasks /Create /XML stores the file without reading "
                                         "its triggers, principal or actions");
  const auto sid = system::current_user_sid();
  ASSERT_TRUE(sid) << "the user's SID could not be read";
  TempDir dir;
  const std::wstring file = dir / L"task.xml";
  ASSERT_TRUE(write_file(file, setup::task_file_bytes(setup::task_document(
                                   *sid, narrow(bin_path(L"Keyward.exe"))))));
  const std::wstring name = L"Vorlane kit probe (" + std::to_wstring(::GetCurrentProcessId()) + L")";
  const TaskRemoval removal(name);
  const RunResult created = run(system_tool(), {L"/Create", L"/TN", name, L"/XML", file, L"/F"});
  ::testing::Test::RecordProperty("observed", "exit code " + std::to_string(created.exit_code) +
                                                  ": " + created.out + created.err);
  EXPECT_EQ(created.exit_code, 0u) << created.out << created.err;
  const RunResult queried = run(system_tool(), {L"/Query", L"/TN", name});
  EXPECT_EQ(queried.exit_code, 0u) << "the task is not listed: " << queried.out << queried.err;
}

}  // namespace
}  // namespace vorlane::testing
