// Probe: while another desktop takes the input, as the secure desktop does during a UAC prompt
// or at the lock screen, SendInput from the user's desktop is refused, and Keyward's diagnosis
// names it. The probe raises a desktop of its own (a program cannot raise the real secure
// desktop) and switches back at once. Changes what the screen shows: throwaway machines only.
#include <windows.h>

#include <gtest/gtest.h>

#include "src/input/failure_diagnosis.hpp"
#include "src/input/send_input_controller_win32.hpp"
#include "src/system/queries_win32.hpp"
#include "tests/probes/probe.hpp"

namespace vorlane::testing {
namespace {

void close_desktop(HDESK desktop) noexcept { ::CloseDesktop(desktop); }
using unique_desktop = win32::unique_resource<HDESK, close_desktop, win32::detail::null_value<HDESK>>;

// Switches the input to `other` for its lifetime, and back to `home` afterwards.
class DesktopSwitch {
 public:
  DesktopSwitch(HDESK home, HDESK other) : home_(home), switched_(::SwitchDesktop(other) != FALSE) {}
  ~DesktopSwitch() {
    if (switched_) ::SwitchDesktop(home_);
  }
  DesktopSwitch(const DesktopSwitch&) = delete;
  DesktopSwitch& operator=(const DesktopSwitch&) = delete;
  bool switched() const { return switched_; }

 private:
  HDESK home_;
  bool switched_;
};

TEST(SecureDesktop, SendInputIsRefusedWhileAnotherDesktopTakesInput) {
  const unique_desktop home(::OpenDesktopW(L"Default", 0, FALSE, DESKTOP_SWITCHDESKTOP));
  ASSERT_TRUE(home) << "OpenDesktopW(Default) " << ::GetLastError();
  const std::wstring name = L"vorlane-probe-" + std::to_wstring(::GetCurrentProcessId());
  const unique_desktop other(::CreateDesktopW(name.c_str(), nullptr, nullptr, 0,
                                              DESKTOP_SWITCHDESKTOP | DESKTOP_READOBJECTS, nullptr));
  VORLANE_PROBE_REQUIRE(other, "CreateDesktopW failed with " + std::to_string(::GetLastError()));

  UINT sent = 0;
  DWORD error = 0;
  std::string diagnosis;
  {
    DesktopSwitch input_elsewhere(home.get(), other.get());
    VORLANE_PROBE_REQUIRE(input_elsewhere.switched(),
                          "SwitchDesktop failed with " + std::to_string(::GetLastError()));
    ::Sleep(200);
    // A relative move by nothing: harmless wherever it lands.
    INPUT move{};
    move.type = INPUT_MOUSE;
    move.mi.dwFlags = MOUSEEVENTF_MOVE;
    ::SetLastError(0);
    sent = ::SendInput(1, &move, sizeof move);
    error = ::GetLastError();
    if (sent == 0) {
      const auto probe = input::make_host_probe();
      system::OwnElevationWin32 elevation;
      diagnosis = input::describe_injection_failure(*probe, elevation, 0, 1, error);
    }
  }
  ::testing::Test::RecordProperty("observed", "SendInput sent " + std::to_string(sent) + ", error " +
                                                  std::to_string(error) + "; " + diagnosis);
  VORLANE_PROBE_REQUIRE(sent == 0, "SendInput injects whatever desktop takes the input");
  EXPECT_FALSE(diagnosis.empty());
}

}  // namespace
}  // namespace vorlane::testing
