#include "input_helper/serve/pipe_name.hpp"

namespace vorlane {

std::string compose_pipe_name(const std::optional<std::string>& pipe_override,
                              const std::string& user_sid, std::uint32_t session) {
  if (pipe_override) {
    if (pipe_override->starts_with(pipe_namespace_prefix)) return *pipe_override;
    return std::string(pipe_namespace_prefix) + *pipe_override;
  }
  return std::string(pipe_namespace_prefix) + "vorlane-input-" + user_sid + "-" +
         std::to_string(session);
}

std::string pipe_security_sddl(const std::string& user_sid) {
  return "D:(A;;GA;;;SY)(A;;GA;;;" + user_sid + ")S:(ML;;NW;;;ME)";
}

}  // namespace vorlane
