#pragma once
// Where the shared program copy and the per-user records live under Program Files. The caller
// supplies the Program Files folder; it comes from the system, never from the environment, which
// any program of the user can change under an elevated one.
#include <string>
#include <string_view>

namespace vorlane::setup {

inline constexpr std::string_view installed_program_name = "Keyward.exe";

std::string helper_install_dir(std::string_view program_files);
std::string installed_program_path(std::string_view program_files);
std::string records_dir(std::string_view program_files);
std::string record_path(std::string_view program_files, std::string_view sid);

}  // namespace vorlane::setup
