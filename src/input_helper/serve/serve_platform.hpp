#pragma once
// What the serve loop needs from the system, as small interfaces with fakes in the tests.
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "src/input_helper/pipe/pipe_io.hpp"
#include "src/system/elevation.hpp"

namespace vorlane::serve {

// The client process, opened once when it connects and kept for the whole session, so the
// checks made on it concern the very process that connected even if its id is reused.
class ClientProcess {
 public:
  virtual ~ClientProcess() = default;
  virtual std::optional<std::string> image_path(std::uint32_t capacity) = 0;
  // False once the process has ended (or its state cannot be read).
  virtual bool running() = 0;
};

class SystemQueries {
 public:
  virtual ~SystemQueries() = default;
  virtual std::optional<std::string> current_user_sid() = 0;
  virtual std::uint32_t own_pid() = 0;
  virtual std::optional<std::uint32_t> session_of_process(std::uint32_t pid) = 0;
  virtual std::optional<std::string> input_desktop_name() = 0;
  // Null when the process cannot be opened.
  virtual std::unique_ptr<ClientProcess> open_client(std::uint32_t pid) = 0;
};

struct [[nodiscard]] ClientConnected {};
// A client connected and went away before the wait noticed it; the instance just waits again.
struct [[nodiscard]] ClientLeftEarly {};
struct [[nodiscard]] WaitFailed {
  std::string error;  // the rendered Windows error
};
using WaitOutcome = std::variant<ClientConnected, ClientLeftEarly, WaitFailed>;

// The instance's outbound side as the system reports it: while the client has not read
// everything written to it, the unread bytes take up part of the outbound quota.
struct [[nodiscard]] OutboundState {
  bool connected = false;  // false once the client has closed its end
  std::uint32_t quota = 0;
  std::uint32_t quota_available = 0;
};

// The helper's one pipe instance. It is created once and reused for every client, so there is
// never a moment in which another process could take the name between two sessions.
class PipeEndpoint {
 public:
  virtual ~PipeEndpoint() = default;
  [[nodiscard]] virtual std::expected<void, std::string> create_instance(const std::string& name,
                                                           const std::string& user_sid,
                                                           bool test_mode) = 0;
  [[nodiscard]] virtual WaitOutcome wait_for_client() = 0;
  virtual std::optional<std::uint32_t> client_pid() = 0;
  virtual pipe::PipeIo& io() = 0;
  // What the client has yet to read of the bytes written to it; absent when the system cannot
  // tell. Polled, never waited on: the client decides when it reads.
  [[nodiscard]] virtual std::optional<OutboundState> outbound() = 0;
  virtual void disconnect() = 0;
};

// One diagnostic line, already complete with its prefix and line feed.
class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void write_line(std::string_view line) = 0;
};

}  // namespace vorlane::serve
