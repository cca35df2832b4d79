// Placeholder until the input area lands: refuses everything, injects nothing.
#include "input/send_input_controller_win32.hpp"

namespace vorlane::win32 {
namespace {
class Unavailable final : public InputController {
 public:
  bool is_available() const override { return true; }
  std::expected<void, std::string> set_enabled(bool) override { return {}; }
  std::expected<void, std::string> execute(const JsonValue&) override {
    return std::unexpected(std::string("控制尚未开启"));
  }
  void release_all() override {}
};
}  // namespace

std::unique_ptr<InputController> make_send_input_controller() {
  return std::make_unique<Unavailable>();
}

}  // namespace vorlane::win32
