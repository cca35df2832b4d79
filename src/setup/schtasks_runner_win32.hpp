#pragma once
// Starting the task scheduler tool as a child with captured output and a bounded wait.
#include <chrono>
#include <string>
#include <vector>

#include "src/setup/platform.hpp"
#include "src/setup/schtasks.hpp"

namespace vorlane::setup {

// Runs `program` with `args` (quoted for its command line) in `working_dir`, without a window.
// The child inherits only its three standard handles: NUL as input and one pipe for each
// output, both collected whole. A child still running after `limit` is terminated, and the run
// counts as not started (`timed_out_run`).
[[nodiscard]] SchtasksRun run_tool(const std::wstring& program, const std::vector<std::string>& args,
                     const std::wstring& working_dir, std::chrono::seconds limit);

// The system's own schtasks.exe, run in the system folder within `schtasks_time_limit`.
class TaskSchedulerWin32 final : public TaskScheduler {
 public:
  SchtasksRun run_schtasks(const std::vector<std::string>& args) override;
};

}  // namespace vorlane::setup
