// Keyward: a GUI-subsystem program without windows; the entry only wires the system in.
#include <windows.h>

#include <filesystem>

#include "common/cmdline.hpp"
#include "common/win32/unique_handle.hpp"
#include "common/win32/wide.hpp"
#include "entry/entry.hpp"
#include "input_helper/serve/serve_win32.hpp"
#include "setup/setup_win32.hpp"

namespace {

using namespace vorlane;

class EntryPlatformWin32 final : public entry::EntryPlatform {
 public:
  std::string serve(bool test_mode, const std::optional<std::string>& pipe_override) override {
    return win32::run_serve(test_mode, pipe_override);
  }
  std::expected<std::string, std::string> install(const std::string& gui_dir,
                                                  const std::optional<std::string>& user_sid) override {
    return setup::win32::run_install(gui_dir, user_sid);
  }
  std::expected<std::string, std::string> uninstall() override { return setup::win32::run_uninstall(); }
  std::optional<std::string> local_app_data() override {
    const DWORD needed = ::GetEnvironmentVariableW(L"LOCALAPPDATA", nullptr, 0);
    if (needed == 0) return std::nullopt;
    std::wstring value(needed, L'\0');
    const DWORD length = ::GetEnvironmentVariableW(L"LOCALAPPDATA", value.data(), needed);
    if (length == 0 || length >= needed) return std::nullopt;
    value.resize(length);
    return win32::to_utf8(value);
  }
  void write_file(const std::string& path, const std::string& bytes) override {
    const std::filesystem::path file(win32::to_wide(path));
    std::error_code ignored;
    std::filesystem::create_directories(file.parent_path(), ignored);
    const win32::unique_handle handle(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr,
                                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) return;
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      DWORD wrote = 0;
      if (!::WriteFile(handle.get(), bytes.data() + sent, static_cast<DWORD>(bytes.size() - sent),
                       &wrote, nullptr) ||
          wrote == 0) {
        return;
      }
      sent += wrote;
    }
  }
  std::chrono::system_clock::time_point now() override { return std::chrono::system_clock::now(); }
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  EntryPlatformWin32 platform;
  return entry::run(split_command_line_utf8(win32::as_u16(::GetCommandLineW())), platform);
}
