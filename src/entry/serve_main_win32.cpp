#include "src/entry/serve_main_win32.hpp"

#include <expected>
#include <memory>

#include "src/input/send_input_controller_win32.hpp"
#include "src/input_helper/pipe/waitable_clock_win32.hpp"
#include "src/input_helper/serve/log_sink_win32.hpp"
#include "src/input_helper/serve/pipe_endpoint_win32.hpp"
#include "src/input_helper/serve/serve.hpp"
#include "src/input_helper/serve/system_queries_win32.hpp"
#include "src/setup/record_store_win32.hpp"
#include "src/system/queries_win32.hpp"

namespace vorlane::entry {

std::string run_serve(bool test_mode, const std::optional<std::string>& pipe_override) {
  serve::PipeEndpointWin32 endpoint;
  serve::SystemQueriesWin32 queries;
  system::OwnElevationWin32 elevation;
  pipe::WaitableTimerClockWin32 clock;  // the 10 ms poll sleeps 10 ms, not a 15.6 ms timer tick
  serve::StandardErrorLogWin32 log;
  serve::ServeDeps deps{endpoint, queries, elevation, clock, log,
                 [](const std::string& user_sid) -> std::expected<std::string, std::string> {
                   auto record = setup::load_helper_record(user_sid);
                   if (!record) return std::unexpected(std::move(record.error()));
                   return std::move(record->gui_path);
                 },
                 [&elevation] { return input::make_send_input_controller(elevation); }};
  return serve::serve(test_mode, pipe_override, deps);
}

}  // namespace vorlane::entry
