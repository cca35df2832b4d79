#include "src/entry/setup_main_win32.hpp"

#include "src/common/clock.hpp"
#include "src/setup/files_win32.hpp"
#include "src/setup/identity_win32.hpp"
#include "src/setup/own_program_win32.hpp"
#include "src/setup/procedures.hpp"
#include "src/setup/schtasks_runner_win32.hpp"
#include "src/setup/wall_clock_win32.hpp"
#include "src/system/queries_win32.hpp"

namespace vorlane::entry {
namespace {

// The real parts live as long as one run; the own program stays held until the run returns.
struct RealSetupSystem {
  system::OwnElevationWin32 elevation;
  setup::UserIdentityWin32 identity;
  setup::SetupFilesWin32 files;
  setup::OwnProgramWin32 own_program;
  setup::TaskSchedulerWin32 scheduler;
  SteadyClock clock;
  setup::WallClockWin32 wall_clock;

  setup::SetupSystem parts() {
    return {elevation, identity, files, own_program, scheduler, clock, wall_clock};
  }
};

}  // namespace

std::expected<std::string, std::string> run_install(const std::string& gui_dir,
                                                    const std::optional<std::string>& expected_sid) {
  RealSetupSystem system;
  return setup::install(system.parts(), gui_dir, expected_sid);
}

std::expected<std::string, std::string> run_uninstall() {
  RealSetupSystem system;
  return setup::uninstall(system.parts());
}

}  // namespace vorlane::entry
