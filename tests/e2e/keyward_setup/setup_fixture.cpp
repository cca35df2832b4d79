#include "tests/e2e/keyward_setup/setup_fixture.hpp"

#include <windows.h>

namespace vorlane::testing {
namespace {

std::wstring system_dir() {
  wchar_t buffer[MAX_PATH];
  const UINT n = ::GetSystemDirectoryW(buffer, MAX_PATH);
  return std::wstring(buffer, n);
}

const wchar_t* const override_key = L"Software\\Wine\\DllOverrides";

}  // namespace

void SchtasksDoubleEnvironment::SetUp() {
  const std::wstring tool = system_dir() + L"\\schtasks.exe";
  const std::wstring original = tool + L".original";
  // A run that died half-way left the double in place and the original in the backup.
  if (!file_exists(original)) {
    ASSERT_TRUE(copy_file(tool, original));
  }
  ASSERT_TRUE(copy_file(bin_path(L"schtasks_double.exe"), tool));
  // Wine runs its built-in tool unless told to prefer the file on disk.
  const wchar_t native[] = L"native";
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, override_key, L"schtasks.exe", REG_SZ, native,
                              sizeof native),
            ERROR_SUCCESS);
}

void SchtasksDoubleEnvironment::TearDown() {
  const std::wstring tool = system_dir() + L"\\schtasks.exe";
  const std::wstring original = tool + L".original";
  ::RegDeleteKeyValueW(HKEY_CURRENT_USER, override_key, L"schtasks.exe");
  if (copy_file(original, tool)) {
    ::DeleteFileW(original.c_str());
  }
}

bool process_running(DWORD pid) {
  win32::unique_handle process(::OpenProcess(SYNCHRONIZE, FALSE, pid));
  return process && ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

void SetupMachine::SetUp() {
  create_directories(program_files());
  create_directories(local_app_data());
  create_directories(gui_dir());
  create_directories(double_dir());
  // Install only checks that the file exists; tests that connect put a real client here.
  ASSERT_TRUE(write_file(gui_dir() + L"\\Vorlane.exe", "MZ"));
}

void SetupMachine::TearDown() {
  // Helpers the double started must not outlive the test (nor hold its folder).
  WIN32_FIND_DATAW entry{};
  win32::unique_find find(
      ::FindFirstFileW((double_dir() + L"\\tasks\\*.pid").c_str(), &entry));
  if (find) {
    do {
      const std::string pid = read_file(double_dir() + L"\\tasks\\" + entry.cFileName);
      win32::unique_handle process(
          ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, std::stoul(pid)));
      if (process) {
        ::TerminateProcess(process.get(), 99);
        ::WaitForSingleObject(process.get(), 5000);
      }
    } while (::FindNextFileW(find.get(), &entry));
  }
}

EnvChanges SetupMachine::environment() const {
  return {{L"ProgramFiles", program_files()},
          {L"ProgramW6432", std::nullopt},
          {L"LOCALAPPDATA", local_app_data()},
          {L"SCHTASKS_DOUBLE_DIR", double_dir()}};
}

RunResult SetupMachine::keyward_from(const std::wstring& program,
                                     const std::vector<std::wstring>& args) const {
  return run(program, args, environment(), std::chrono::seconds(60));
}

RunResult SetupMachine::install() const {
  return keyward({L"--install", L"--gui-dir", gui_dir(), L"--user-sid", widen(wine_sid)});
}

nlohmann::json SetupMachine::outcome() const {
  return nlohmann::json::parse(read_file(local_app_data() + L"\\Vorlane\\input-helper-setup.json"),
                               nullptr, false);
}

std::vector<std::string> SetupMachine::schtasks_log() const {
  return lines(read_file(double_dir() + L"\\log.txt"));
}

std::vector<std::string> SetupMachine::schtasks_images() const {
  return lines(read_file(double_dir() + L"\\image.txt"));
}

void SetupMachine::fail_schtasks(const std::wstring& verb, int code, const std::string& out,
                                 const std::string& err) const {
  write_file(double_dir() + L"\\" + verb + L".exit", std::to_string(code));
  write_file(double_dir() + L"\\" + verb + L".stdout", out);
  write_file(double_dir() + L"\\" + verb + L".stderr", err);
}

DWORD SetupMachine::running_helper_pid() const {
  const std::string pid =
      read_file(double_dir() + L"\\tasks\\" + widen("Keyward (" + wine_sid + ")") + L".pid");
  if (pid.empty()) return 0;
  const DWORD value = std::stoul(pid);
  return process_running(value) ? value : 0;
}

}  // namespace vorlane::testing
