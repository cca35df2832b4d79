// Keyward: a GUI-subsystem program without windows; the entry only wires the system in.
#include <windows.h>

#include "src/common/cmdline.hpp"
#include "src/common/win32/checked_file.hpp"
#include "src/common/win32/environment.hpp"
#include "src/common/win32/files.hpp"
#include "src/common/win32/unique_handle.hpp"
#include "src/common/win32/wide.hpp"
#include "src/entry/entry.hpp"
#include "src/entry/serve_main_win32.hpp"
#include "src/entry/setup_main_win32.hpp"
#include "src/entry/user_token_win32.hpp"
#include "src/input_helper/serve/log_sink_win32.hpp"

namespace {

using namespace vorlane;

class EntryPlatformWin32 final : public entry::EntryPlatform {
 public:
  std::string serve(bool test_mode, const std::optional<std::string>& pipe_override) override {
    return entry::run_serve(test_mode, pipe_override);
  }
  std::expected<std::string, std::string> install(const std::string& gui_dir,
                                                  const std::optional<std::string>& user_sid) override {
    return entry::run_install(gui_dir, user_sid);
  }
  std::expected<std::string, std::string> uninstall() override { return entry::run_uninstall(); }
  // An empty value counts as unset: the outcome then goes below the working folder as well.
  std::optional<std::string> local_app_data() override {
    const auto value = win32::environment_variable(L"LOCALAPPDATA");
    if (!value || value->empty()) return std::nullopt;
    return win32::to_utf8(*value);
  }
  // As the user: the folder comes from the user's environment, so the file may land only where
  // the user could have put it anyway. Where the user may not write, nothing is written, and
  // that is said like a planted link.
  entry::FileWrite write_file(const std::string& folder, const std::string& tail,
                              const std::string& bytes) override {
    entry::UserTokenWin32 user_token;
    return entry::write_as_user(user_token, [&] { return write_checked(folder, tail, bytes); });
  }
  void write_error_line(std::string_view line) override { error_stream_.write_line(line); }
  std::chrono::system_clock::time_point now() override { return std::chrono::system_clock::now(); }

 private:
  static entry::FileWrite write_checked(const std::string& folder, const std::string& tail,
                                        const std::string& bytes) {
    const std::wstring wide_folder = win32::to_wide(folder);
    const std::wstring wide_tail = win32::to_wide(tail);
    if (const auto parent = win32::split_full_path(wide_folder + L"\\" + wide_tail)) {
      // Any other failure shows at the open.
      if (win32::create_directories(parent->first) == ERROR_ACCESS_DENIED) return entry::FileWrite::refused;
    }
    auto opened = win32::open_checked_file(wide_folder, wide_tail, GENERIC_WRITE, 0);
    if (!opened) {
      return opened.error().refusal || opened.error().error == ERROR_ACCESS_DENIED ? entry::FileWrite::refused
                                                                                   : entry::FileWrite::failed;
    }
    const HANDLE file = opened->get();
    // Emptied only now that it is known to be the file meant, so a longer old content goes too.
    if (!::SetEndOfFile(file)) return entry::FileWrite::failed;
    if (!win32::write_all_to(file, bytes)) return entry::FileWrite::failed;
    return entry::FileWrite::written;
  }

  serve::StandardErrorLogWin32 error_stream_;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Libraries loaded later come from the system folder only, never from beside the program.
  ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  EntryPlatformWin32 platform;
  return entry::run(split_command_line_utf8(win32::as_u16(::GetCommandLineW())), platform);
}
