#include "setup/layout.hpp"

namespace vorlane::setup {

std::string join_path(std::string_view left, std::string_view right) {
  std::string path(left);
  if (!path.empty() && path.back() != '\\' && path.back() != '/') {
    path.push_back('\\');
  }
  path.append(right);
  return path;
}

std::string program_files_dir(const EnvironmentLookup& env) {
  for (const std::string_view name : {"ProgramFiles", "ProgramW6432"}) {
    if (auto value = env(name); value && !value->empty()) {
      return *value;
    }
  }
  return std::string(default_program_files);
}

std::string helper_install_dir(const EnvironmentLookup& env) {
  return join_path(join_path(program_files_dir(env), "Vorlane"), "InputHelper");
}

std::string installed_program_path(const EnvironmentLookup& env) {
  return join_path(helper_install_dir(env), installed_program_name);
}

std::string records_dir(const EnvironmentLookup& env) {
  return join_path(helper_install_dir(env), "users");
}

std::string record_path(const EnvironmentLookup& env, std::string_view sid) {
  return join_path(records_dir(env), std::string(sid) + ".json");
}

}  // namespace vorlane::setup
