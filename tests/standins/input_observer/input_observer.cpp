// Stand-in observer for input tests: installs low-level keyboard and mouse hooks and prints one
// line per event they see, so a test can tell exactly what reached the system.
//
//   input_observer.exe [--stop-event NAME] [--duration-ms N]
//
// Prints "ready" once both hooks are installed, then, each line flushed as it happens:
//   key msg=0x0100 vk=0x00 scan=0x001E flags=0x10
//   mouse msg=0x0200 x=512 y=767 data=0x00000000 flags=0x01
// and stops when the named event is set or the duration has passed (default: one minute).
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "src/common/win32/unique_handle.hpp"

namespace {

void unhook(HHOOK hook) noexcept { ::UnhookWindowsHookEx(hook); }
using unique_hook =
    vorlane::win32::unique_resource<HHOOK, unhook, vorlane::win32::detail::null_value<HHOOK>>;

constexpr DWORD default_duration_ms = 60'000;

void emit(const char* line, int length) {
  // WriteFile keeps "\n" as it is; nothing is buffered, so a reader sees each event at once.
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), line, static_cast<DWORD>(length), &written,
              nullptr);
}

LRESULT CALLBACK on_key(int code, WPARAM message, LPARAM data) {
  if (code == HC_ACTION) {
    const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(data);
    char line[128];
    const int n = std::snprintf(line, sizeof line, "key msg=0x%04X vk=0x%02lX scan=0x%04lX flags=0x%02lX\n",
                                static_cast<unsigned>(message), key->vkCode, key->scanCode,
                                key->flags);
    emit(line, n);
  }
  return ::CallNextHookEx(nullptr, code, message, data);
}

LRESULT CALLBACK on_mouse(int code, WPARAM message, LPARAM data) {
  if (code == HC_ACTION) {
    const auto* mouse = reinterpret_cast<const MSLLHOOKSTRUCT*>(data);
    char line[128];
    const int n = std::snprintf(line, sizeof line, "mouse msg=0x%04X x=%ld y=%ld data=0x%08lX flags=0x%02lX\n",
                                static_cast<unsigned>(message), mouse->pt.x, mouse->pt.y,
                                mouse->mouseData, mouse->flags);
    emit(line, n);
  }
  return ::CallNextHookEx(nullptr, code, message, data);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  vorlane::win32::unique_handle stop;
  DWORD duration_ms = default_duration_ms;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::wcscmp(argv[i], L"--stop-event") == 0) {
      stop.reset(::OpenEventW(SYNCHRONIZE, FALSE, argv[i + 1]));
      if (!stop) {
        std::fprintf(stderr, "input_observer: cannot open the stop event (%lu)\n", ::GetLastError());
        return 2;
      }
    } else if (std::wcscmp(argv[i], L"--duration-ms") == 0) {
      duration_ms = static_cast<DWORD>(std::wcstoul(argv[i + 1], nullptr, 10));
    }
  }

  // The thread needs a message queue before the hooks can call into it.
  MSG message;
  ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
  const HINSTANCE self = ::GetModuleHandleW(nullptr);
  const unique_hook keyboard(::SetWindowsHookExW(WH_KEYBOARD_LL, on_key, self, 0));
  const unique_hook mouse(::SetWindowsHookExW(WH_MOUSE_LL, on_mouse, self, 0));
  if (!keyboard || !mouse) {
    std::fprintf(stderr, "input_observer: cannot install the hooks (%lu)\n", ::GetLastError());
    return 2;
  }
  emit("ready\n", 6);

  const ULONGLONG deadline = ::GetTickCount64() + duration_ms;
  for (;;) {
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) {
      break;
    }
    const HANDLE handles[] = {stop.get()};
    const DWORD count = stop ? 1 : 0;
    const DWORD woke = ::MsgWaitForMultipleObjects(count, handles, FALSE,
                                                   static_cast<DWORD>(deadline - now), QS_ALLINPUT);
    if (count == 1 && woke == WAIT_OBJECT_0) {
      break;
    }
    if (woke == WAIT_FAILED) {
      return 3;
    }
    // Hook calls are delivered while the queue is pumped.
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  emit("stopped\n", 8);
  return 0;
}
