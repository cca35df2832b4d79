// Haltgate.exe: a GUI-subsystem program without windows; its verdict is the exit code. This is
// the one place where the real system objects are made and handed to the run.
#include <windows.h>

#include <string>
#include <vector>

#include "installer/shutdown-helper/clock_win32.hpp"
#include "installer/shutdown-helper/holders_win32.hpp"
#include "installer/shutdown-helper/legacy_digests.hpp"
#include "installer/shutdown-helper/log_win32.hpp"
#include "installer/shutdown-helper/path_key_win32.hpp"
#include "installer/shutdown-helper/preflight.hpp"
#include "installer/shutdown-helper/processes_win32.hpp"
#include "installer/shutdown-helper/sha256_win32.hpp"
#include "installer/shutdown-helper/unlock_walk.hpp"
#include "installer/shutdown-helper/unlock_win32.hpp"
#include "src/common/cmdline.hpp"
#include "src/common/win32/wide.hpp"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  using namespace vorlane::haltgate;
  // Libraries loaded later come from the system folder only, never from beside the program.
  ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  const std::vector<std::string> words =
      vorlane::split_command_line_utf8(vorlane::win32::as_u16(::GetCommandLineW()));
  EntrySystemWin32 entry;
  PathKeysWin32 paths;
  InstallationProcessesWin32 processes;
  FileDigestsWin32 hashes;
  PerformanceClockWin32 clock;
  InstallationFilesWin32 files;
  UnlockWalk unlock(files, clock);
  FileHoldersWin32 holders(clock);
  const PreflightSystem system{
      .paths = paths, .processes = processes, .hashes = hashes, .unlock = unlock, .holders = &holders};
  return run_haltgate(words, entry, system, clock, legacy_build_digests());
}
