#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace vorlane {

inline constexpr std::string_view pipe_namespace_prefix = "\\\\.\\pipe\\";

// "\\.\pipe\vorlane-input-{SID}-{session}", or the test-mode override, which gets the
// namespace prefix unless it already starts with it byte for byte.
std::string compose_pipe_name(const std::optional<std::string>& pipe_override,
                              const std::string& user_sid, std::uint32_t session);

// The descriptor of the served pipe: the system and the user only, medium label, no write-up.
std::string pipe_security_sddl(const std::string& user_sid);

}  // namespace vorlane
