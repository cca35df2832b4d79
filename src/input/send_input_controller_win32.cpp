// SendInput and the host queries behind the portable controller.
#include "src/input/send_input_controller_win32.hpp"

#include <windows.h>

#include <array>

#include "src/input/failure_diagnosis.hpp"
#include "src/input/input_record.hpp"
#include "src/input/send_input_controller.hpp"
#include "src/system/queries_win32.hpp"

namespace vorlane::input {
namespace {

using input::InputRecord;
using input::InputType;

static_assert(sizeof(INPUT) == 40, "SendInput is handed 64-bit INPUT records");

// The portable records and the failure diagnosis hold their own copies of these system values so
// they build without the system headers; a mistyped copy must not build.
static_assert(static_cast<DWORD>(InputType::mouse) == INPUT_MOUSE);
static_assert(static_cast<DWORD>(InputType::keyboard) == INPUT_KEYBOARD);
static_assert(input::keyeventf_extendedkey == KEYEVENTF_EXTENDEDKEY);
static_assert(input::keyeventf_keyup == KEYEVENTF_KEYUP);
static_assert(input::keyeventf_unicode == KEYEVENTF_UNICODE);
static_assert(input::keyeventf_scancode == KEYEVENTF_SCANCODE);
static_assert(input::mouseeventf_move == MOUSEEVENTF_MOVE);
static_assert(input::mouseeventf_leftdown == MOUSEEVENTF_LEFTDOWN);
static_assert(input::mouseeventf_leftup == MOUSEEVENTF_LEFTUP);
static_assert(input::mouseeventf_rightdown == MOUSEEVENTF_RIGHTDOWN);
static_assert(input::mouseeventf_rightup == MOUSEEVENTF_RIGHTUP);
static_assert(input::mouseeventf_middledown == MOUSEEVENTF_MIDDLEDOWN);
static_assert(input::mouseeventf_middleup == MOUSEEVENTF_MIDDLEUP);
static_assert(input::mouseeventf_wheel == MOUSEEVENTF_WHEEL);
static_assert(input::mouseeventf_hwheel == MOUSEEVENTF_HWHEEL);
static_assert(input::mouseeventf_absolute == MOUSEEVENTF_ABSOLUTE);
static_assert(input::error_none == ERROR_SUCCESS);
static_assert(input::error_access_denied == ERROR_ACCESS_DENIED);
static_assert(input::error_invalid_parameter == ERROR_INVALID_PARAMETER);

INPUT to_input(const InputRecord& record) {
  INPUT input{};
  if (record.type == InputType::keyboard) {
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = record.vk;
    input.ki.wScan = record.scan;
    input.ki.dwFlags = record.flags;
    input.ki.time = record.time;
    input.ki.dwExtraInfo = record.extra_info;
  } else {
    input.type = INPUT_MOUSE;
    input.mi.dx = record.dx;
    input.mi.dy = record.dy;
    input.mi.mouseData = record.mouse_data;
    input.mi.dwFlags = record.flags;
    input.mi.time = record.time;
    input.mi.dwExtraInfo = record.extra_info;
  }
  return input;
}

class InputSinkWin32 final : public input::InputSink {
 public:
  Outcome send(std::span<const InputRecord> records) override {
    std::array<INPUT, input::max_records_per_call> inputs;
    if (records.size() > inputs.size()) {
      return {0, ERROR_INVALID_PARAMETER};
    }
    for (std::size_t i = 0; i < records.size(); ++i) {
      inputs[i] = to_input(records[i]);
    }
    const UINT count = static_cast<UINT>(records.size());
    const UINT sent = ::SendInput(count, inputs.data(), sizeof(INPUT));
    // The error belongs to this very call: read it before anything else can overwrite it.
    const DWORD error = sent == count ? ERROR_SUCCESS : ::GetLastError();
    return {sent, error};
  }
};

class InjectionProbeWin32 final : public input::InjectionProbe {
 public:
  std::optional<std::string> input_desktop_name() override { return system::input_desktop_name(); }

  std::optional<std::uint32_t> foreground_process_id() override {
    const HWND window = ::GetForegroundWindow();
    if (window == nullptr) {
      return std::nullopt;
    }
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (pid == 0) {
      return std::nullopt;
    }
    return pid;
  }

  system::Elevation pid_elevation(std::uint32_t pid) override { return system::pid_elevation(pid); }

  std::optional<std::string> process_image_path(std::uint32_t pid,
                                                std::uint32_t capacity) override {
    return system::process_image_path(static_cast<DWORD>(pid), static_cast<DWORD>(capacity));
  }
};

}  // namespace

std::unique_ptr<serve::InputController> make_send_input_controller(system::ElevationQuery& elevation) {
  return std::make_unique<input::SendInputController>(std::make_unique<InputSinkWin32>(),
                                                      make_host_probe(), elevation);
}

std::unique_ptr<input::InjectionProbe> make_host_probe() { return std::make_unique<InjectionProbeWin32>(); }

}  // namespace vorlane::input
