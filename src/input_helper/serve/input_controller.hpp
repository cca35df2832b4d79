#pragma once
// The per-client controller through which the serve loop drives input.
#include <expected>
#include <string>

#include "src/common/json_member.hpp"

namespace vorlane::serve {

class InputController {
 public:
  virtual ~InputController() = default;
  virtual bool is_available() const = 0;
  [[nodiscard]] virtual std::expected<void, std::string> set_enabled(bool enabled) = 0;
  // `request` is the whole JSON value of the message.
  [[nodiscard]] virtual std::expected<void, std::string> execute(const JsonValue& request) = 0;
  virtual void release_all() = 0;
};

}  // namespace vorlane::serve
