// SendInput and the host queries behind the portable controller.
#include "input/send_input_controller_win32.hpp"

#include <windows.h>

#include <array>

#include "input/send_input_controller.hpp"
#include "system/queries_win32.hpp"

namespace vorlane::win32 {
namespace {

using input::InputRecord;
using input::InputType;

static_assert(sizeof(INPUT) == 40, "SendInput is handed 64-bit INPUT records");

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

class SendInputSink final : public input::InputSink {
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

class HostProbe final : public input::InjectionProbe {
 public:
  std::optional<std::string> input_desktop_name() override { return win32::input_desktop_name(); }

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

  Elevation pid_elevation(std::uint32_t pid) override { return win32::pid_elevation(pid); }

  // The pseudo handle of the own process needs no closing.
  Elevation own_elevation() override { return win32::process_elevation(::GetCurrentProcess()); }

  std::optional<std::string> process_image_path(std::uint32_t pid,
                                                std::uint32_t capacity) override {
    return win32::process_image_path(static_cast<DWORD>(pid), static_cast<DWORD>(capacity));
  }
};

}  // namespace

std::unique_ptr<InputController> make_send_input_controller() {
  return std::make_unique<input::SendInputController>(std::make_unique<SendInputSink>(),
                                                      make_host_probe());
}

std::unique_ptr<input::InjectionProbe> make_host_probe() { return std::make_unique<HostProbe>(); }

}  // namespace vorlane::win32
