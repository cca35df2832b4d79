#include "src/input_helper/serve/session.hpp"

#include "src/common/json_member.hpp"
#include "src/common/product.hpp"
#include "src/input_helper/serve/serve_texts.hpp"
#include "src/system/path_compare_key.hpp"

namespace vorlane::serve {
namespace {

JsonValue optional_json(const std::optional<std::string>& text) {
  return text ? JsonValue(*text) : JsonValue(nullptr);
}

bool own_process_elevated(system::ElevationQuery& elevation) {
  return elevation.own_elevation() == system::Elevation::elevated;
}

JsonValue status_reply(bool control, SystemQueries& queries, system::ElevationQuery& elevation) {
  return JsonValue{{"control", control},
                   {"desktop", optional_json(queries.input_desktop_name())},
                   {"elevated", own_process_elevated(elevation)},
                   {"ok", true}};
}

JsonValue result_reply(const std::expected<void, std::string>& result) {
  return result ? pipe::ok_reply() : pipe::error_reply(result.error());
}

bool is_input_request(const std::string& type) {
  return type == "key" || type == "text" || type == "button" || type == "scroll" ||
         type == "pointer" || type == "hello";
}

}  // namespace

bool admit_client(ClientProcess* client, std::uint32_t client_pid,
                  const std::string& expected_client_path, SystemQueries& queries) {
  if (client == nullptr) return false;
  const auto image = client->image_path(client_image_path_capacity);
  if (!image || image->empty() || expected_client_path.empty()) return false;
  if (system::path_compare_key(*image) != system::path_compare_key(expected_client_path)) return false;
  const auto client_session = queries.session_of_process(client_pid);
  if (!client_session) return false;
  const auto own_session = queries.session_of_process(queries.own_pid());
  return own_session && *own_session == *client_session;
}

bool is_valid_hello(const JsonValue& message) {
  const JsonValue* type = member(message, "type");
  const JsonValue* protocol = member(message, "protocol");
  return type && type->is_string() && type->get_ref<const std::string&>() == "hello" && protocol &&
         protocol->is_number_unsigned() &&
         protocol->get<std::uint64_t>() == pipe_protocol_version;
}

JsonValue hello_reply(SystemQueries& queries, system::ElevationQuery& elevation) {
  const auto session = queries.session_of_process(queries.own_pid());
  return JsonValue{{"desktop", optional_json(queries.input_desktop_name())},
                   {"elevated", own_process_elevated(elevation)},
                   {"ok", true},
                   {"protocol", pipe_protocol_version},
                   {"session", session ? JsonValue(*session) : JsonValue(nullptr)}};
}

std::optional<SessionEnd> perform_handshake(pipe::PipeConnection& connection, SystemQueries& queries,
                                            system::ElevationQuery& elevation) {
  pipe::ReadOutcome outcome = read_message(connection, handshake_deadline);
  if (auto* failure = std::get_if<pipe::ReadFailed>(&outcome)) return SessionEnd{std::move(failure->text)};
  if (std::holds_alternative<pipe::TimedOut>(outcome)) {
    return SessionEnd{std::string(handshake_timeout)};
  }
  if (!is_valid_hello(std::get<JsonValue>(outcome))) {
    const bool written =
        write_message(connection, pipe::error_reply(unsupported_protocol)).has_value();
    return SessionEnd{std::string(handshake_invalid), written};
  }
  if (auto written = write_message(connection, hello_reply(queries, elevation)); !written) {
    return SessionEnd{std::move(written.error())};
  }
  return std::nullopt;
}

Dispatch dispatch_request(const JsonValue& request, InputController& controller,
                          bool& session_control_enabled, SystemQueries& queries,
                          system::ElevationQuery& elevation) {
  const JsonValue* type_member = member(request, "type");
  if (!type_member || !type_member->is_string()) {
    return {pipe::error_reply(unsupported_request)};
  }
  const std::string& type = type_member->get_ref<const std::string&>();
  if (type == "status") return {status_reply(session_control_enabled, queries, elevation)};
  if (type == "enable") {
    const auto result = controller.set_enabled(true);
    if (result) session_control_enabled = true;
    return {result_reply(result)};
  }
  if (type == "disable") return {result_reply(controller.set_enabled(false)), true};
  if (type == "release") {
    controller.release_all();
    return {pipe::ok_reply()};
  }
  if (is_input_request(type)) {
    if (!session_control_enabled) return {pipe::error_reply(control_not_enabled_text)};
    return {result_reply(controller.execute(request))};
  }
  return {pipe::error_reply(unsupported_request)};
}

SessionEnd run_session(pipe::PipeConnection& connection, InputController& controller,
                       SystemQueries& queries, system::ElevationQuery& elevation, ClientProcess* client,
                       std::uint32_t client_pid) {
  if (auto failed = perform_handshake(connection, queries, elevation)) return std::move(*failed);
  bool session_control_enabled = false;
  for (;;) {
    pipe::ReadOutcome outcome = read_message(connection, idle_deadline);
    if (std::holds_alternative<pipe::ReadFailed>(outcome)) return {};
    if (std::holds_alternative<pipe::TimedOut>(outcome)) {
      // An id of 0 gives nothing to watch; the pipe itself tells when such a client leaves.
      if (client_pid == 0) continue;
      if (client == nullptr || !client->running()) return {};
      continue;
    }
    const Dispatch dispatch =
        dispatch_request(std::get<JsonValue>(outcome), controller, session_control_enabled, queries,
                         elevation);
    if (!write_message(connection, dispatch.reply)) return {};
    if (dispatch.ends_session) return {std::nullopt, true};
  }
}

}  // namespace vorlane::serve
