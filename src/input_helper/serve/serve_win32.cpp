#include "src/input_helper/serve/serve_win32.hpp"

#include <windows.h>

#include "src/common/win32/unique_handle.hpp"
#include "src/input/send_input_controller_win32.hpp"
#include "src/input_helper/pipe/waitable_clock_win32.hpp"
#include "src/input_helper/serve/pipe_endpoint_win32.hpp"
#include "src/input_helper/serve/serve.hpp"
#include "src/setup/setup_win32.hpp"
#include "src/system/queries_win32.hpp"

namespace vorlane::win32 {
namespace {

class ClientProcessWin32 final : public ClientProcess {
 public:
  explicit ClientProcessWin32(unique_handle process) : process_(std::move(process)) {}
  std::optional<std::string> image_path(std::uint32_t capacity) override {
    return process_image_path(process_.get(), capacity);
  }
  bool running() override { return ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

 private:
  unique_handle process_;
};

class SystemQueriesWin32 final : public SystemQueries {
 public:
  std::optional<std::string> current_user_sid() override { return win32::current_user_sid(); }
  std::uint32_t own_pid() override { return ::GetCurrentProcessId(); }
  std::optional<std::uint32_t> session_of_process(std::uint32_t pid) override {
    return win32::session_of_process(pid);
  }
  Elevation own_elevation() override { return process_elevation(::GetCurrentProcess()); }
  std::optional<std::string> input_desktop_name() override { return win32::input_desktop_name(); }
  std::unique_ptr<ClientProcess> open_client(std::uint32_t pid) override {
    unique_handle process(
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, pid));
    if (!process) return nullptr;
    return std::make_unique<ClientProcessWin32>(std::move(process));
  }
};

// Bytes as given, so lines end in "\n" alone; without an error stream the line is lost.
class StandardErrorLog final : public LogSink {
 public:
  void write_line(std::string_view line) override {
    const HANDLE stream = ::GetStdHandle(STD_ERROR_HANDLE);
    if (stream == nullptr || stream == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(stream, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }
};

}  // namespace

std::string run_serve(bool test_mode, const std::optional<std::string>& pipe_override) {
  PipeEndpointWin32 endpoint;
  SystemQueriesWin32 queries;
  WaitableTimerClock clock;  // the 10 ms poll sleeps 10 ms, not a 15.6 ms timer tick
  StandardErrorLog log;
  ServeDeps deps{endpoint, queries, clock, log,
                 [](const std::string& user_sid) -> std::expected<std::string, std::string> {
                   auto record = setup::win32::load_helper_record(user_sid);
                   if (!record) return std::unexpected(std::move(record.error()));
                   return std::move(record->gui_path);
                 },
                 [] { return make_send_input_controller(); }};
  return serve(test_mode, pipe_override, deps);
}

}  // namespace vorlane::win32
