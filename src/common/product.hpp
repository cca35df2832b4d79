#pragma once
// Names and values that both programs, or two parts of one, must agree on; each is written here
// only.
#include <cstdint>
#include <string_view>

namespace vorlane {

// The folder the product's files live in, under Program Files and under the user's local
// application data.
inline constexpr std::string_view product_folder_name = "Vorlane";
// The client program, expected in the folder the install is told about.
inline constexpr std::string_view client_program_name = "Vorlane.exe";
// The version of the pipe protocol the helper speaks and the install record states.
inline constexpr std::uint32_t pipe_protocol_version = 1;
// The refusal of an input request while the client has not turned control on.
inline constexpr std::string_view control_not_enabled_text = "控制尚未开启";
// Serving and setting up both stop here when the token names no user.
inline constexpr std::string_view no_user_sid_text = "无法读取当前用户 SID";
// The head of every diagnostic line Keyward writes to its error stream, from the serve loop
// and from the entry alike.
inline constexpr std::string_view log_prefix = "Keyward: ";

}  // namespace vorlane
