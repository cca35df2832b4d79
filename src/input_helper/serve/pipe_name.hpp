#pragma once
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace vorlane::serve {

inline constexpr std::string_view pipe_namespace_prefix = "\\\\.\\pipe\\";

// "\\.\pipe\vorlane-input-{SID}-{session}", or the test-mode override, which gets the
// namespace prefix unless it already starts with it byte for byte.
std::string compose_pipe_name(const std::optional<std::string>& pipe_override,
                              const std::string& user_sid, std::uint32_t session);

// What the user may do with the pipe: exactly what GENERIC_READ | GENERIC_WRITE map to on a pipe
// (FILE_GENERIC_READ | FILE_GENERIC_WRITE), which is what the client asks for. Generic all would
// include WRITE_DAC and WRITE_OWNER, and since the one instance lives for the whole run, any
// program of the user could then lock the client out until the next logon.
inline constexpr std::string_view user_pipe_access = "0x12019F";

// The descriptor of the served pipe: the system and the user only; the medium label keeps
// programs below medium integrity from writing and from reading.
std::string pipe_security_sddl(const std::string& user_sid);

// What enabling SeSecurityPrivilege came to: `adjusted` is the result of the adjustment call,
// `last_error` the thread's code read right after it, `system_message` the system's text for
// that code. The call can succeed without enabling anything (1300 when the token lacks the
// privilege), which is a failure too, told by its bare code.
[[nodiscard]] std::expected<void, std::string> privilege_adjustment_outcome(
    bool adjusted, std::uint32_t last_error, const std::optional<std::string>& system_message);

}  // namespace vorlane::serve
