// A stand-in Vorlane.exe for Haltgate tests, configured by its arguments:
//   --mode event          owns the exit event "Local\Vorlane.InstallerExit.v1.<pid>" (default)
//   --mode event-denied   owns the event with a security that lets only the system signal it
//   --mode none           offers no graceful-exit interface
//   --mode legacy         an older build: a top-level window of class "tray_icon_app" that quits
//                         on WM_COMMAND 1003, and a window titled "Vorlane"
//   --tray-delay-ms N     legacy: create the windows only after N ms
//   --exit-delay-ms N     exit N ms after being asked (default 0)
//   --ignore-request      never exit when asked
//   --hold PATH           hold PATH open without sharing ...
//   --hold-ms N           ... for N ms (default: until exit)
//   --record PATH         append one line per tray command received ("command 1003")
//   --ready PATH          write "ready" once set up, so a test knows it is running
//   --lifetime-ms N       exit after N ms whatever happens (default 120000), so nothing lingers
#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "src/common/cmdline.hpp"
#include "src/common/win32/unique_handle.hpp"
#include "src/common/win32/wide.hpp"

namespace {

using vorlane::win32::to_wide;
using vorlane::win32::unique_handle;
using vorlane::win32::unique_hlocal;

struct Options {
  std::string mode = "event";
  ULONGLONG tray_delay_ms = 0;
  ULONGLONG exit_delay_ms = 0;
  bool ignore_request = false;
  std::wstring hold, record, ready;
  std::optional<ULONGLONG> hold_ms;
  ULONGLONG lifetime_ms = 120000;
};

struct State {
  Options options;
  std::optional<ULONGLONG> exit_at;  // tick count at which to leave
};
State state;

ULONGLONG number(const std::vector<std::string>& words, std::string_view name, ULONGLONG fallback) {
  const auto value = vorlane::option_value(words, name);
  return value ? std::stoull(*value) : fallback;
}

Options parse(const std::vector<std::string>& words) {
  Options o;
  o.mode = vorlane::option_value(words, "--mode").value_or("event");
  o.tray_delay_ms = number(words, "--tray-delay-ms", 0);
  o.exit_delay_ms = number(words, "--exit-delay-ms", 0);
  o.ignore_request = std::find(words.begin(), words.end(), "--ignore-request") != words.end();
  o.hold = to_wide(vorlane::option_value(words, "--hold").value_or(""));
  o.record = to_wide(vorlane::option_value(words, "--record").value_or(""));
  o.ready = to_wide(vorlane::option_value(words, "--ready").value_or(""));
  if (vorlane::option_value(words, "--hold-ms")) {
    o.hold_ms = number(words, "--hold-ms", 0);
  }
  o.lifetime_ms = number(words, "--lifetime-ms", 120000);
  return o;
}

void append_line(const std::wstring& path, const std::string& line) {
  if (path.empty()) {
    return;
  }
  unique_handle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  ::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void asked_to_exit() {
  if (!state.options.ignore_request && !state.exit_at) {
    state.exit_at = ::GetTickCount64() + state.options.exit_delay_ms;
  }
}

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_COMMAND) {
    append_line(state.options.record, "command " + std::to_string(LOWORD(wparam)) + "\n");
    if (LOWORD(wparam) == 1003) {
      asked_to_exit();
    }
    return 0;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

bool create_legacy_windows(HINSTANCE instance) {
  WNDCLASSW tray{};
  tray.lpfnWndProc = window_proc;
  tray.hInstance = instance;
  tray.lpszClassName = L"tray_icon_app";
  WNDCLASSW main{};
  main.lpfnWndProc = window_proc;
  main.hInstance = instance;
  main.lpszClassName = L"VorlaneStandInMain";
  if (!::RegisterClassW(&tray) || !::RegisterClassW(&main)) {
    return false;
  }
  // Top-level (not message-only) windows, so that window enumeration finds them.
  return ::CreateWindowExW(0, L"tray_icon_app", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance,
                           nullptr) != nullptr &&
         ::CreateWindowExW(0, L"VorlaneStandInMain", L"Vorlane", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                           nullptr, nullptr, instance, nullptr) != nullptr;
}

unique_handle create_exit_event(bool system_only) {
  const std::wstring name = L"Local\\Vorlane.InstallerExit.v1." + std::to_wstring(::GetCurrentProcessId());
  unique_hlocal descriptor;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
  if (system_only) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;GA;;;SY)", SDDL_REVISION_1, &sd,
                                                                nullptr)) {
      return {};
    }
    descriptor.reset(sd);
    attributes.lpSecurityDescriptor = sd;
  }
  return unique_handle(::CreateEventW(&attributes, TRUE, FALSE, name.c_str()));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  const auto words = vorlane::split_command_line_utf8(vorlane::win32::as_u16(::GetCommandLineW()));
  state.options = parse(words);
  const Options& o = state.options;
  const ULONGLONG started = ::GetTickCount64();

  unique_handle held;
  if (!o.hold.empty()) {
    held.reset(::CreateFileW(o.hold.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!held) {
      return 3;
    }
  }
  unique_handle event;
  if (o.mode == "event" || o.mode == "event-denied") {
    event = create_exit_event(o.mode == "event-denied");
    if (!event) {
      return 4;
    }
  }
  bool windows_pending = o.mode == "legacy";
  if (windows_pending && o.tray_delay_ms == 0) {
    if (!create_legacy_windows(instance)) {
      return 5;
    }
    windows_pending = false;
  }
  if (!o.ready.empty()) {
    append_line(o.ready, "ready\n");
  }

  for (;;) {
    const ULONGLONG now = ::GetTickCount64();
    if (state.exit_at && now >= *state.exit_at) {
      return 0;
    }
    if (now - started >= o.lifetime_ms) {
      return 7;
    }
    if (held && o.hold_ms && now - started >= *o.hold_ms) {
      held.reset();
    }
    if (windows_pending && now - started >= o.tray_delay_ms) {
      if (!create_legacy_windows(instance)) {
        return 5;
      }
      windows_pending = false;
    }
    // Sleep until the next thing due; the event and messages wake the wait earlier.
    ULONGLONG next = started + o.lifetime_ms;
    if (state.exit_at) next = std::min(next, *state.exit_at);
    if (held && o.hold_ms) next = std::min(next, started + *o.hold_ms);
    if (windows_pending) next = std::min(next, started + o.tray_delay_ms);
    const DWORD timeout = static_cast<DWORD>(std::min<ULONGLONG>(next > now ? next - now : 0, 1000));
    const HANDLE handles[1] = {event.get()};
    const DWORD count = event ? 1 : 0;
    const DWORD woke = ::MsgWaitForMultipleObjects(count, handles, FALSE, timeout, QS_ALLINPUT);
    if (count == 1 && woke == WAIT_OBJECT_0) {
      asked_to_exit();
      ::ResetEvent(event.get());
    }
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
}
