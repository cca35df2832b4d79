#pragma once
// The controller of test mode: the same gate as the real one, and never any input.
#include "src/input_helper/serve/input_controller.hpp"

namespace vorlane::serve {

class TestModeController final : public InputController {
 public:
  bool is_available() const override { return true; }
  [[nodiscard]] std::expected<void, std::string> set_enabled(bool enabled) override;
  [[nodiscard]] std::expected<void, std::string> execute(const JsonValue& request) override;
  void release_all() override {}

 private:
  bool control_enabled_ = false;
};

}  // namespace vorlane::serve
