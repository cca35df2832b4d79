// The Windows adapter of the controller, in process: every kind of record it converts reaches
// the system as sent, as a low-level hook in another process sees it.
#include <gtest/gtest.h>

#include "src/common/win32/wide.hpp"
#include "src/input/send_input_controller_win32.hpp"
#include "src/system/queries_win32.hpp"
#include "tests/e2e/keyward_input/observer.hpp"

namespace vorlane::testing {
namespace {

TEST(SendInputAdapter, KeyboardUnicodeAndMouseRecordsReachTheSystemAsSent) {
  auto observer = Observer::start();
  ASSERT_TRUE(observer.has_value()) << "the input observer did not come up";
  system::OwnElevationWin32 elevation;
  const auto controller = input::make_send_input_controller(elevation);
  ASSERT_TRUE(controller->set_enabled(true).has_value());

  const char* requests[] = {
      R"({"type":"key","code":"ArrowLeft","down":true})",
      R"({"type":"key","code":"ArrowLeft","down":false})",
      R"({"type":"text","text":"é"})",
      R"({"type":"pointer","x":0.5,"y":1})",
      R"({"type":"scroll","dy":120})",
  };
  for (const char* request : requests) {
    const auto result = controller->execute(JsonValue::parse(request));
    EXPECT_TRUE(result.has_value()) << request << ": " << result.error();
  }
  const std::vector<ObservedEvent> expected{
      key_event(wm_keydown, 0, 0x4B, 0x11),
      key_event(wm_keyup, 0, 0x4B, 0x91),
      key_event(wm_keydown, 0xE7, 0xE9, 0x10),
      key_event(wm_keyup, 0xE7, 0xE9, 0x10),
      mouse_event(wm_mousemove, 512, 767, 0, 0x01),
      mouse_event(wm_mousewheel, 512, 767, 0xFF880000u, 0x01),
  };
  EXPECT_EQ(observer->stop(), expected);
}

void destroy_window(HWND window) noexcept { ::DestroyWindow(window); }
using unique_window =
    win32::unique_resource<HWND, destroy_window, win32::detail::null_value<HWND>>;

// The file name of this test program, as the foreground name must read.
std::string own_file_name() {
  wchar_t buffer[MAX_PATH] = {};
  const std::wstring_view path(buffer, ::GetModuleFileNameW(nullptr, buffer, MAX_PATH));
  return win32::to_utf8(path.substr(path.find_last_of(L"\\/") + 1));
}

// The real host probe behind the diagnosis: with a window of this (elevated, under Wine)
// process in front and the normal desktop receiving input, errors 0 and 5 are explained by
// the code, the latter naming this program; other codes never look at the host.
TEST(HostProbe, ExplainsARefusalWithTheForegroundProgramsName) {
  const unique_window window(::CreateWindowExW(0, L"STATIC", L"foreground", WS_OVERLAPPEDWINDOW |
                                                   WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr,
                                               ::GetModuleHandleW(nullptr), nullptr));
  ASSERT_TRUE(window);
  ::SetForegroundWindow(window.get());
  ASSERT_EQ(::GetForegroundWindow(), window.get()) << "the test window did not come to the front";

  const auto probe = input::make_host_probe();
  system::OwnElevationWin32 elevation;
  const std::string name = own_file_name();
  EXPECT_EQ(input::foreground_process_name(*probe), name);
  EXPECT_EQ(input::describe_injection_failure(*probe, elevation, 0, 2, 5),
            "系统拒绝了输入注入（0/2）：Windows 拒绝访问（错误 5）；前台窗口 " + name +
                " 可能以管理员权限运行，或主机处于锁屏/安全桌面、远程会话已断开、被安全软件拦截");
  EXPECT_EQ(input::describe_injection_failure(*probe, elevation, 1, 3, 0),
            "系统拒绝了输入注入（1/3）：主机桌面当前不接受输入，可能已锁屏、处于安全桌面，或被安全软件拦截");
  EXPECT_EQ(input::describe_injection_failure(*probe, elevation, 3, 64, 1450),
            "系统拒绝了输入注入（3/64）：Win32 错误 1450");
}

}  // namespace
}  // namespace vorlane::testing
