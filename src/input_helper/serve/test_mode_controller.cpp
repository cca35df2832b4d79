#include "src/input_helper/serve/test_mode_controller.hpp"

#include "src/input_helper/serve/serve_texts.hpp"

namespace vorlane {

std::expected<void, std::string> TestModeController::set_enabled(bool enabled) {
  control_enabled_ = enabled;
  return {};
}

std::expected<void, std::string> TestModeController::execute(const JsonValue&) {
  if (!control_enabled_) return std::unexpected(std::string(serve_texts::control_not_enabled));
  return {};
}

}  // namespace vorlane
