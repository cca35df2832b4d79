#include "src/input_helper/serve/pipe_name.hpp"

#include "src/common/error_text.hpp"
#include "src/input_helper/serve/serve_texts.hpp"

namespace vorlane::serve {

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
  return "D:(A;;GA;;;SY)(A;;" + std::string(user_pipe_access) + ";;;" + user_sid +
         ")S:(ML;;NWNR;;;ME)";
}

std::expected<void, std::string> privilege_adjustment_outcome(
    bool adjusted, std::uint32_t last_error, const std::optional<std::string>& system_message) {
  if (!adjusted) {
    return std::unexpected(std::string(enable_privilege_failed_prefix) +
                           windows_error_text(system_message, last_error));
  }
  if (last_error != 0) {
    return std::unexpected(std::string(privilege_not_held_prefix) +
                           win32_code_text(last_error));
  }
  return {};
}

}  // namespace vorlane::serve
