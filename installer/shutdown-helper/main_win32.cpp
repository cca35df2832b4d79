// Haltgate.exe: a GUI-subsystem program without windows; its verdict is the exit code.
#include <windows.h>

#include "installer/shutdown-helper/legacy_digests.hpp"
#include "installer/shutdown-helper/system_win32.hpp"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Libraries loaded later come from the system folder only, never from beside the program.
  ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  return vorlane::haltgate::win32::haltgate_main(::GetCommandLineW(),
                                                 vorlane::haltgate::legacy_build_digests());
}
