#include "tests/e2e/keyward_setup/setup_fixture.hpp"

#include <windows.h>

#include "src/common/text.hpp"

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

bool folder_empty(const std::wstring& path) {
  WIN32_FIND_DATAW entry{};
  win32::unique_find find(::FindFirstFileW((path + L"\\*").c_str(), &entry));
  if (!find) return false;
  do {
    const std::wstring name = entry.cFileName;
    if (name != L"." && name != L"..") return false;
  } while (::FindNextFileW(find.get(), &entry));
  return true;
}

void SetupMachine::SetUp() {
  create_directories(program_files());
  create_directories(decoy_program_files());
  create_directories(temp_dir());
  create_directories(user_dir());
  redirect_.emplace(program_files());
  ASSERT_TRUE(redirect_->active());
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
      win32::unique_handle process(::OpenProcess(
          PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, std::stoul(pid)));
      wchar_t image[MAX_PATH * 4];
      DWORD length = MAX_PATH * 4;
      // The id may have been reused since the helper ended; end only a Keyward.
      if (process && ::QueryFullProcessImageNameW(process.get(), 0, image, &length) &&
          ascii_lower(narrow(std::wstring(image, length))).ends_with("\\keyward.exe")) {
        ::TerminateProcess(process.get(), 99);
        ::WaitForSingleObject(process.get(), 5000);
      }
    } while (::FindNextFileW(find.get(), &entry));
  }
}

EnvChanges SetupMachine::environment() const {
  // Program Files comes from the system; both variables name another folder to show they do
  // not count.
  return {{L"ProgramFiles", decoy_program_files()},
          {L"ProgramW6432", decoy_program_files()},
          {L"TEMP", temp_dir()},
          {L"TMP", temp_dir()},
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

DWORD SetupMachine::keyward_not_elevated(const std::vector<std::wstring>& args) const {
  win32::unique_handle own;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, own.put())) {
    ADD_FAILURE() << "OpenProcessToken " << ::GetLastError();
    return 0;
  }
  TOKEN_LINKED_TOKEN linked{};
  DWORD size = 0;
  if (!::GetTokenInformation(own.get(), TokenLinkedToken, &linked, sizeof linked, &size)) {
    ADD_FAILURE() << "TokenLinkedToken " << ::GetLastError();
    return 0;
  }
  win32::unique_handle limited(linked.LinkedToken);
  win32::unique_handle primary;
  if (!::DuplicateTokenEx(limited.get(), TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation,
                          TokenPrimary, primary.put())) {
    ADD_FAILURE() << "DuplicateTokenEx " << ::GetLastError();
    return 0;
  }
  // The child inherits this process's environment, changed for the call and put back.
  std::vector<std::pair<std::wstring, std::optional<std::wstring>>> saved;
  for (const auto& [name, value] : environment()) {
    wchar_t buffer[32768];
    const DWORD n = ::GetEnvironmentVariableW(name.c_str(), buffer, 32768);
    saved.emplace_back(name, n ? std::optional<std::wstring>(std::wstring(buffer, n)) : std::nullopt);
    ::SetEnvironmentVariableW(name.c_str(), value ? value->c_str() : nullptr);
  }
  const std::wstring program = bin_path(L"Keyward.exe");
  std::wstring line = command_line(program, args);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  const BOOL started = ::CreateProcessAsUserW(primary.get(), program.c_str(), line.data(), nullptr,
                                              nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                                              &si, &pi);
  const DWORD start_error = ::GetLastError();
  for (const auto& [name, value] : saved) {
    ::SetEnvironmentVariableW(name.c_str(), value ? value->c_str() : nullptr);
  }
  if (!started) {
    ADD_FAILURE() << "CreateProcessAsUserW " << start_error;
    return 0;
  }
  win32::unique_handle process(pi.hProcess), thread(pi.hThread);
  if (::WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.get(), 99);
    ADD_FAILURE() << "Keyward did not end";
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process.get(), &code);
  return code;
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
      read_file(double_dir() + L"\\tasks\\" + widen(wine_task) + L".pid");
  if (pid.empty()) return 0;
  const DWORD value = std::stoul(pid);
  return process_running(value) ? value : 0;
}

}  // namespace vorlane::testing
