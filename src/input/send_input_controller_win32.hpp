#pragma once
// The real controller of a served client, injecting with SendInput.
#include <memory>

#include "src/input/failure_diagnosis.hpp"
#include "src/input_helper/serve/input_controller.hpp"

namespace vorlane::input {

// `elevation` answers for the helper's own process and outlives the controller.
std::unique_ptr<serve::InputController> make_send_input_controller(system::ElevationQuery& elevation);

// The host as the failure diagnosis sees it: input desktop, foreground window and its elevation.
std::unique_ptr<input::InjectionProbe> make_host_probe();

}  // namespace vorlane::input
