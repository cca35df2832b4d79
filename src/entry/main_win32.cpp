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
  entry::FileWrite write_file(const std::string& folder, const std::string& tail,
                              const std::string& bytes) override {
    const std::wstring wide_folder = win32::to_wide(folder);
    const std::wstring wide_tail = win32::to_wide(tail);
    if (const auto parent = win32::split_full_path(wide_folder + L"\\" + wide_tail)) {
      (void)win32::create_directories(parent->first);  // a failure shows at the open
    }
    auto opened = win32::open_checked_file(wide_folder, wide_tail, GENERIC_WRITE, 0);
    if (!opened) return opened.error().refusal ? entry::FileWrite::refused : entry::FileWrite::failed;
    const HANDLE file = opened->get();
    // Emptied only now that it is known to be the file meant, so a longer old content goes too.
    if (!::SetEndOfFile(file)) return entry::FileWrite::failed;
    if (!win32::write_all_to(file, bytes)) return entry::FileWrite::failed;
    return entry::FileWrite::written;
  }
  void write_error_line(std::string_view line) override { error_stream_.write_line(line); }
  std::chrono::system_clock::time_point now() override { return std::chrono::system_clock::now(); }

 private:
  serve::StandardErrorLogWin32 error_stream_;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Libraries loaded later come from the system folder only, never from beside the program.
  ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  EntryPlatformWin32 platform;
  return entry::run(split_command_line_utf8(win32::as_u16(::GetCommandLineW())), platform);
}
