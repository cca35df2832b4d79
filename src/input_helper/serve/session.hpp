#pragma once
// One client from admission to the end of its message loop.
#include <cstdint>
#include <optional>
#include <string>

#include "src/input_helper/pipe/framing.hpp"
#include "src/input_helper/serve/input_controller.hpp"
#include "src/input_helper/serve/serve_platform.hpp"
#include "src/system/elevation.hpp"

namespace vorlane::serve {

// Admits only the recorded program running in the helper's own session. `client` is the
// process opened when it connected (null if it could not be opened).
[[nodiscard]] bool admit_client(ClientProcess* client, std::uint32_t client_pid,
                  const std::string& expected_client_path, SystemQueries& queries);

[[nodiscard]] bool is_valid_hello(const JsonValue& message);
JsonValue hello_reply(SystemQueries& queries, system::ElevationQuery& elevation);

// How a session ended: the text to log (if any), and whether a reply was the last thing
// written, so it must reach the client before the pipe is disconnected.
struct [[nodiscard]] SessionEnd {
  std::optional<std::string> log_text;
  bool reply_last_written = false;
};

// Success, or how the session ends.
[[nodiscard]] std::optional<SessionEnd> perform_handshake(pipe::PipeConnection& connection, SystemQueries& queries,
                                                          system::ElevationQuery& elevation);

// The reply to one request after the handshake, and whether the session ends once it is sent.
struct [[nodiscard]] Dispatch {
  JsonValue reply;
  bool ends_session = false;
};
[[nodiscard]] Dispatch dispatch_request(const JsonValue& request, InputController& controller,
                                        bool& session_control_enabled, SystemQueries& queries,
                                        system::ElevationQuery& elevation);

// Handshake and message loop. `client` serves the liveness checks while the client is idle.
[[nodiscard]] SessionEnd run_session(pipe::PipeConnection& connection, InputController& controller,
                                     SystemQueries& queries, system::ElevationQuery& elevation,
                                     ClientProcess* client, std::uint32_t client_pid);

}  // namespace vorlane::serve
