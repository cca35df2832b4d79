#pragma once
// Where the shared program copy and the per-user records live under Program Files. Every path
// is computed afresh from the environment on each call.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vorlane::setup {

// Looks up one environment variable of the calling process; absent when it is not set.
using EnvironmentLookup = std::function<std::optional<std::string>(std::string_view name)>;

inline constexpr std::string_view default_program_files = "C:\\Program Files";
inline constexpr std::string_view installed_program_name = "Keyward.exe";

// Joins two path parts, inserting "\" unless the left part is empty or already ends with a
// separator.
std::string join_path(std::string_view left, std::string_view right);

// "ProgramFiles", else "ProgramW6432", else "C:\Program Files". An empty value counts as unset:
// it would make every path relative to the working folder of an elevated process.
std::string program_files_dir(const EnvironmentLookup& env);
std::string helper_install_dir(const EnvironmentLookup& env);
std::string installed_program_path(const EnvironmentLookup& env);
std::string records_dir(const EnvironmentLookup& env);
std::string record_path(const EnvironmentLookup& env, std::string_view sid);

}  // namespace vorlane::setup
