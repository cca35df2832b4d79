// Placeholder until the setup area lands.
#include "setup/setup_win32.hpp"

namespace vorlane::setup::win32 {

std::expected<HelperRecord, std::string> load_helper_record(const std::string&) {
  return std::unexpected(std::string("no record reader in this build"));
}
std::expected<std::string, std::string> run_install(const std::string&,
                                                    const std::optional<std::string>&) {
  return std::unexpected(std::string("此版本不提供 --install"));
}
std::expected<std::string, std::string> run_uninstall() {
  return std::unexpected(std::string("此版本不提供 --uninstall"));
}

}  // namespace vorlane::setup::win32
