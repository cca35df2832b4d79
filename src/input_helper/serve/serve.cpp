#include "src/input_helper/serve/serve.hpp"

#include <algorithm>
#include <chrono>

#include "src/common/product.hpp"
#include "src/input_helper/pipe/framing.hpp"
#include "src/input_helper/serve/pipe_name.hpp"
#include "src/input_helper/serve/serve_texts.hpp"
#include "src/input_helper/serve/session.hpp"
#include "src/input_helper/serve/test_mode_controller.hpp"

namespace vorlane::serve {
namespace {

void log_line(LogSink& log, std::string_view text, std::string_view suffix = {}) {
  std::string line(log_prefix);
  line.append(text).append(suffix).push_back('\n');
  log.write_line(line);
}

std::expected<void, std::string> create_with_retries(ServeDeps& deps, const std::string& name,
                                                     const std::string& user_sid, bool test_mode) {
  for (int attempt = 1;; ++attempt) {
    auto created = deps.endpoint.create_instance(name, user_sid, test_mode);
    if (created) return {};
    if (attempt == create_attempts) return created;
    log_line(deps.log, created.error(), retrying_suffix);
    deps.clock.sleep(create_retry_delay);
  }
}

void serve_client(ServeDeps& deps, bool test_mode, const std::string& expected_client_path) {
  const auto client_pid = deps.endpoint.client_pid();
  if (!client_pid) return;
  const std::unique_ptr<ClientProcess> client =
      *client_pid != 0 ? deps.queries.open_client(*client_pid) : nullptr;
  if (!test_mode &&
      !admit_client(client.get(), *client_pid, expected_client_path, deps.queries)) {
    return;
  }
  std::unique_ptr<InputController> controller =
      test_mode ? std::make_unique<TestModeController>() : deps.make_controller();
  if (!controller) return;

  pipe::PipeConnection connection(deps.endpoint.io(), deps.clock);
  const SessionEnd end = run_session(connection, *controller, deps.queries, deps.elevation, client.get(), *client_pid);

  // Nothing may stay pressed on the host once the client is gone.
  controller->release_all();
  (void)controller->set_enabled(false);
  if (end.log_text) log_line(deps.log, *end.log_text);
  controller.reset();
  if (end.reply_last_written) await_reply_read(deps.endpoint, deps.clock);
}

}  // namespace

void await_reply_read(PipeEndpoint& endpoint, Clock& clock) {
  const Clock::time_point deadline = clock.now() + reply_read_limit;
  for (;;) {
    const std::optional<OutboundState> state = endpoint.outbound();
    if (!state || !state->connected || state->quota_available >= state->quota) return;
    const Clock::time_point now = clock.now();
    if (now >= deadline) return;
    clock.sleep(std::min<std::chrono::milliseconds>(
        reply_read_poll, std::chrono::ceil<std::chrono::milliseconds>(deadline - now)));
  }
}

std::string serve(bool test_mode, const std::optional<std::string>& pipe_override, ServeDeps& deps) {
  const auto user_sid = deps.queries.current_user_sid();
  if (!user_sid) return std::string(no_user_sid_text);
  const auto session = deps.queries.session_of_process(deps.queries.own_pid());
  if (!session) return std::string(no_session);
  const std::string name = compose_pipe_name(pipe_override, *user_sid, *session);

  std::string expected_client_path;
  if (!test_mode) {
    auto path = deps.load_client_path(*user_sid);
    if (!path) return std::string(no_record);
    expected_client_path = std::move(*path);
  }

  if (auto created = create_with_retries(deps, name, *user_sid, test_mode); !created) {
    return std::move(created.error());
  }
  for (;;) {
    WaitOutcome waited = deps.endpoint.wait_for_client();
    if (auto* failure = std::get_if<WaitFailed>(&waited)) {
      deps.endpoint.disconnect();
      return std::string(wait_failed_prefix) + failure->error;
    }
    if (std::holds_alternative<ClientConnected>(waited)) {
      serve_client(deps, test_mode, expected_client_path);
    }
    deps.endpoint.disconnect();
  }
}

}  // namespace vorlane::serve
