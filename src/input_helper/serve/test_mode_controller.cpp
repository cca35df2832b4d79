#include "src/input_helper/serve/test_mode_controller.hpp"

#include "src/common/product.hpp"

namespace vorlane::serve {

std::expected<void, std::string> TestModeController::set_enabled(bool enabled) {
  control_enabled_ = enabled;
  return {};
}

std::expected<void, std::string> TestModeController::execute(const JsonValue&) {
  if (!control_enabled_) return std::unexpected(std::string(control_not_enabled_text));
  return {};
}

}  // namespace vorlane::serve
