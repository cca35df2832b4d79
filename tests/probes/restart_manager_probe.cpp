// Probe: when a file of the installation stays in use, the Restart Manager names the program
// that holds it and Haltgate's log says so in a "holder" line with that program's process id.
#include <windows.h>
#include <restartmanager.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "tests/probes/probe.hpp"
#include "tests/support/win_process.hpp"

namespace vorlane::testing {
namespace {

// The process ids the Restart Manager says hold `path`, asked the way an installer asks it.
// rstrtmgr.dll is not a KnownDLL, so it is loaded from the system folder only.
std::optional<std::vector<DWORD>> restart_manager_holders(const std::wstring& path, std::string& error) {
  const win32::unique_module library(::LoadLibraryExW(L"rstrtmgr.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
  if (!library) {
    error = "rstrtmgr.dll did not load: " + std::to_string(::GetLastError());
    return std::nullopt;
  }
  const auto find = [&](const char* name) { return reinterpret_cast<void*>(::GetProcAddress(library.get(), name)); };
  const auto start = reinterpret_cast<decltype(&::RmStartSession)>(find("RmStartSession"));
  const auto add = reinterpret_cast<decltype(&::RmRegisterResources)>(find("RmRegisterResources"));
  const auto list = reinterpret_cast<decltype(&::RmGetList)>(find("RmGetList"));
  const auto end = reinterpret_cast<decltype(&::RmEndSession)>(find("RmEndSession"));
  if (!start || !add || !list || !end) {
    error = "rstrtmgr.dll lacks an export";
    return std::nullopt;
  }
  DWORD session = 0;
  wchar_t key[CCH_RM_SESSION_KEY + 1] = {};
  if (const DWORD status = start(&session, 0, key); status != ERROR_SUCCESS) {
    error = "RmStartSession " + std::to_string(status);
    return std::nullopt;
  }
  std::vector<DWORD> pids;
  LPCWSTR files[] = {path.c_str()};
  DWORD status = add(session, 1, files, 0, nullptr, 0, nullptr);
  if (status == ERROR_SUCCESS) {
    RM_PROCESS_INFO info[16];
    UINT needed = 0, count = 16;
    DWORD reasons = 0;
    status = list(session, &needed, &count, info, &reasons);
    if (status == ERROR_SUCCESS) {
      for (UINT i = 0; i < count; ++i) pids.push_back(info[i].Process.dwProcessId);
    }
  }
  end(session);
  if (status != ERROR_SUCCESS) {
    error = "the Restart Manager answered " + std::to_string(status);
    return std::nullopt;
  }
  return pids;
}

TEST(RestartManager, HaltgateNamesTheHolderOfALockedFile) {
  TempDir root;
  const std::wstring install = root / L"install";
  create_directories(install);
  const std::wstring dll = install + L"\\codec.dll";
  ASSERT_TRUE(write_file(dll, "MZ"));
  const std::wstring holder_exe = root / L"holder.exe";
  ASSERT_TRUE(copy_file(bin_path(L"vorlane_app.exe"), holder_exe));
  const std::wstring ready = root / L"ready";
  Child holder = Child::start_until_ready(holder_exe, {L"--mode", L"none", L"--hold", dll}, ready);
  ASSERT_TRUE(file_exists(ready)) << "the holder did not come up";

  std::string error;
  const auto holders = restart_manager_holders(dll, error);
  ASSERT_TRUE(holders) << error;
  const bool named = std::find(holders->begin(), holders->end(), holder.pid()) != holders->end();
  VORLANE_PROBE_REQUIRE(named, "the Restart Manager names no process for a file another process holds open");

  const std::wstring log = root / L"haltgate.log";
  const RunResult result = run(bin_path(L"Haltgate.exe"),
                               {L"--install-dir", install, L"--log", log, L"--timeout-ms", L"1000"});
  holder.kill();
  const std::string text = read_file(log);
  std::string holder_lines;
  for (const auto& line : lines(text)) {
    if (line.find("holder") != std::string::npos) holder_lines += line + " ";
  }
  ::testing::Test::RecordProperty("observed", "exit code " + std::to_string(result.exit_code) + "; " +
                                                  (holder_lines.empty() ? "no holder line" : holder_lines));
  EXPECT_EQ(result.exit_code, 12u);
  EXPECT_NE(holder_lines.find("pid=" + std::to_string(holder.pid())), std::string::npos)
      << "no holder line names pid " << holder.pid() << " in:\n" << text;
}

}  // namespace
}  // namespace vorlane::testing
