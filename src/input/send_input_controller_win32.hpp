#pragma once
// The real controller of a served client, injecting with SendInput.
#include <memory>

#include "input_helper/serve/input_controller.hpp"

namespace vorlane::win32 {

std::unique_ptr<InputController> make_send_input_controller();

}  // namespace vorlane::win32
