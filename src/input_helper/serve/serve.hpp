#pragma once
// The serve run: one pipe instance, one client at a time, until a fatal condition.
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "src/input_helper/pipe/pipe_io.hpp"
#include "src/input_helper/serve/input_controller.hpp"
#include "src/input_helper/serve/serve_platform.hpp"
#include "src/system/elevation.hpp"

namespace vorlane::serve {

struct ServeDeps {
  PipeEndpoint& endpoint;
  SystemQueries& queries;
  system::ElevationQuery& elevation;
  Clock& clock;
  LogSink& log;
  // The recorded client path (guiPath) of a user, or why the record cannot be used.
  std::function<std::expected<std::string, std::string>(const std::string& user_sid)> load_client_path;
  // The controller of an admitted client outside test mode.
  std::function<std::unique_ptr<InputController>()> make_controller;
};

// After the last reply of a session and before the disconnect, which would discard what the
// client has not read: waits until the client has read everything or has gone, but never longer
// than `reply_read_limit`, so a client that stops reading cannot keep the next one out. Also
// stops when the pipe cannot tell.
void await_reply_read(PipeEndpoint& endpoint, Clock& clock);

// Returns only on a fatal condition, with the user-facing text.
[[nodiscard]] std::string serve(bool test_mode, const std::optional<std::string>& pipe_override, ServeDeps& deps);

}  // namespace vorlane::serve
