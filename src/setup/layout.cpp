#include "src/setup/layout.hpp"

#include "src/common/path.hpp"
#include "src/common/product.hpp"

namespace vorlane::setup {

std::string helper_install_dir(std::string_view program_files) {
  return join_path(join_path(program_files, product_folder_name), "InputHelper");
}

std::string installed_program_path(std::string_view program_files) {
  return join_path(helper_install_dir(program_files), installed_program_name);
}

std::string records_dir(std::string_view program_files) {
  return join_path(helper_install_dir(program_files), "users");
}

std::string record_path(std::string_view program_files, std::string_view sid) {
  return join_path(records_dir(program_files), std::string(sid) + ".json");
}

}  // namespace vorlane::setup
