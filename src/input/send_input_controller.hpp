#pragma once
// The controller of one served client: validates input requests, keeps track of what is held,
// and injects through an InputSink.
#include <cstdint>
#include <expected>
#include <memory>
#include <set>
#include <string>

#include "src/input/failure_diagnosis.hpp"
#include "src/input/synthesis.hpp"
#include "src/input_helper/serve/input_controller.hpp"

namespace vorlane::input {

class SendInputController final : public serve::InputController {
 public:
  // `elevation` answers for the helper's own process and outlives the controller.
  SendInputController(std::unique_ptr<InputSink> sink, std::unique_ptr<InjectionProbe> probe,
                      system::ElevationQuery& elevation);

  bool is_available() const override { return true; }
  [[nodiscard]] std::expected<void, std::string> set_enabled(bool enabled) override;
  [[nodiscard]] std::expected<void, std::string> execute(const JsonValue& request) override;
  void release_all() override;

  // Destroying the controller injects nothing: releasing is the serve loop's job.
  ~SendInputController() override = default;

 private:
  std::expected<void, std::string> key(const JsonValue& request);
  std::expected<void, std::string> text(const JsonValue& request);
  std::expected<void, std::string> button(const JsonValue& request);
  std::expected<void, std::string> scroll(const JsonValue& request);
  std::expected<void, std::string> pointer(const JsonValue& request);
  std::expected<void, std::string> send(std::span<const InputRecord> records);

  std::set<std::string> held_keys_;
  std::set<std::uint8_t> held_buttons_;
  bool control_enabled_ = false;
  std::unique_ptr<InputSink> sink_;
  std::unique_ptr<InjectionProbe> probe_;
  system::ElevationQuery& elevation_;
};

}  // namespace vorlane::input
