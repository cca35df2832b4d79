// Haltgate's costs under Wine, printed as plain figures:
//   unlock: verification of a generated installation (nested folders, a quarter of the files
//           executable by extension) beside a plain walk that opens and closes the same files;
//   discovery: one enumeration of the running processes with extra processes running.
// Usage: haltgate_bench [--files N] [--processes K] [--repeat R]
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "installer/shutdown-helper/path_key_win32.hpp"
#include "installer/shutdown-helper/processes_win32.hpp"
#include "installer/shutdown-helper/unlock_walk.hpp"
#include "installer/shutdown-helper/unlock_win32.hpp"
#include "src/common/clock.hpp"
#include "src/common/cmdline.hpp"
#include "src/common/win32/unique_handle.hpp"
#include "src/common/win32/wide.hpp"
#include "tests/support/win_process.hpp"

namespace {

using vorlane::win32::to_utf8;
using vorlane::win32::unique_handle;
using Clock = std::chrono::steady_clock;

// files spread over folders three levels deep; every fourth file is .exe, .dll or .node.
void generate_installation(const std::wstring& root, int files) {
  static const wchar_t* const executable[] = {L".exe", L".dll", L".node"};
  static const wchar_t* const other[] = {L".json", L".pak", L".dat"};
  constexpr int per_folder = 100;
  for (int i = 0; i < files; ++i) {
    const int folder = i / per_folder;
    const std::wstring a = root + L"\\d" + std::to_wstring(folder / 10);
    const std::wstring b = a + L"\\s" + std::to_wstring(folder % 10);
    if (i % per_folder == 0) {
      ::CreateDirectoryW(a.c_str(), nullptr);
      ::CreateDirectoryW(b.c_str(), nullptr);
    }
    const wchar_t* extension = i % 4 == 0 ? executable[(i / 4) % 3] : other[i % 3];
    const std::wstring path = b + L"\\f" + std::to_wstring(i) + extension;
    vorlane::testing::write_file(path, "MZ");
  }
}

bool has_executable_extension(const std::wstring& name) {
  const auto dot = name.rfind(L'.');
  if (dot == std::wstring::npos || dot == 0) return false;
  std::wstring ext = name.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), ::towlower);
  return ext == L"exe" || ext == L"dll" || ext == L"node";
}

// The baseline: the least a walk that opens every executable file exclusively can do.
int plain_walk(const std::wstring& dir) {
  int opened = 0;
  WIN32_FIND_DATAW data;
  vorlane::win32::unique_find find(::FindFirstFileW((dir + L"\\*").c_str(), &data));
  if (!find) return 0;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring child = dir + L"\\" + name;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      opened += plain_walk(child);
    } else if (has_executable_extension(name)) {
      unique_handle file(::CreateFileW(child.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
      opened += file ? 1 : 0;
    }
  } while (::FindNextFileW(find.get(), &data));
  return opened;
}

template <typename F>
double median_ms(int repeat, F&& run) {
  std::vector<double> times;
  for (int i = 0; i < repeat; ++i) {
    const auto start = Clock::now();
    run();
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

void bench_unlock(int files, int repeat) {
  const vorlane::testing::TempDir tree;
  const std::wstring& root = tree.path();
  generate_installation(root, files);
  vorlane::haltgate::InstallationFilesWin32 installation_files;
  vorlane::SteadyClock clock;
  vorlane::haltgate::UnlockWalk unlock(installation_files, clock);
  const std::string root_utf8 = to_utf8(root);
  // Warm the file system caches once, then alternate so both see the same conditions.
  plain_walk(root);
  std::vector<double> verify, plain;
  for (int i = 0; i < repeat; ++i) {
    verify.push_back(median_ms(1, [&] {
      if (!unlock.verify_unlocked(root_utf8, clock.now() + std::chrono::minutes(10))) {
        std::printf("unexpected: locked file\n");
      }
    }));
    plain.push_back(median_ms(1, [&] { plain_walk(root); }));
  }
  std::sort(verify.begin(), verify.end());
  std::sort(plain.begin(), plain.end());
  const double v = verify[verify.size() / 2], p = plain[plain.size() / 2];
  std::printf("unlock: %d files (%d executable), median of %d\n", files, files / 4, repeat);
  std::printf("  verify_unlocked  %8.1f ms\n  plain walk       %8.1f ms\n  ratio            %8.2f\n", v, p, v / p);
}

void bench_discovery(int extra, int repeat) {
  const vorlane::testing::TempDir dir;
  const std::wstring app = vorlane::testing::bin_path(L"vorlane_app.exe");
  const std::wstring standin = dir / L"other.exe";
  ::CopyFileW(app.c_str(), standin.c_str(), FALSE);
  const std::wstring target = dir / L"Vorlane.exe";
  ::CopyFileW(app.c_str(), target.c_str(), FALSE);

  std::vector<vorlane::testing::Child> children;
  for (int i = 0; i < extra; ++i) {
    auto child = vorlane::testing::Child::start(standin, {L"--mode", L"none", L"--lifetime-ms", L"600000"});
    if (child.pid() != 0) {
      children.push_back(std::move(child));
    }
  }
  ::Sleep(2000);  // let them all finish starting

  std::vector<DWORD> ids(65536);
  DWORD filled = 0;
  ::EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &filled);
  const auto examined = filled / sizeof(DWORD);

  vorlane::haltgate::PathKeysWin32 paths;
  vorlane::haltgate::InstallationProcessesWin32 processes;
  const auto key = paths.path_key(to_utf8(target));
  const double ms = median_ms(repeat, [&] {
    if (auto found = processes.find_installation_processes(key.value_or("")); !found || !found->empty())
      std::printf("unexpected: discovery found something\n");
  });
  std::printf("discovery: %zu processes running (%zu started for the test), median of %d\n", static_cast<size_t>(examined),
              children.size(), repeat);
  std::printf("  one enumeration  %8.1f ms\n  per process      %8.3f ms\n", ms, ms / static_cast<double>(examined));

  children.clear();  // ends the benchmark's own children
  ::Sleep(500);  // before the folder with their programs is removed
}

}  // namespace

int wmain() {
  const auto words = vorlane::split_command_line_utf8(vorlane::win32::as_u16(::GetCommandLineW()));
  const int files = std::stoi(vorlane::option_value(words, "--files").value_or("20000"));
  const int processes = std::stoi(vorlane::option_value(words, "--processes").value_or("300"));
  const int repeat = std::stoi(vorlane::option_value(words, "--repeat").value_or("5"));
  bench_unlock(files, repeat);
  bench_discovery(processes, repeat);
  return 0;
}
