#include <gtest/gtest.h>

#include "src/input/failure_diagnosis.hpp"
#include "src/input/fakes_for_tests.hpp"
#include "src/system/fake_elevation.hpp"

namespace vorlane::input {
namespace {

// The suffixes as clients receive them, written out independently of the code's constants.
const std::string secure_desktop =
    "：主机当前处于锁屏或 UAC 安全桌面，Windows 不允许注入输入；请先在主机解锁并关闭安全桌面，再重新开启控制";
const std::string desktop_unreadable =
    "：无法读取主机的输入桌面，通常表示主机已锁屏或处于 UAC 安全桌面；请先在主机解锁，再重新开启控制";
const std::string elevated_unnamed =
    "：主机前台窗口以管理员权限运行，普通权限的 Vorlane 无法向它注入输入（UIPI）；请切换到普通窗口，或在主机安装“管理员控制”";
const std::string elevated_taskmgr =
    "：主机前台窗口 Taskmgr.exe 以管理员权限运行，普通权限的 Vorlane 无法向它注入输入（UIPI）；请切换到普通窗口，或在主机安装“管理员控制”";
const std::string error_0 = "：主机桌面当前不接受输入，可能已锁屏、处于安全桌面，或被安全软件拦截";
const std::string error_5_unnamed =
    "：Windows 拒绝访问（错误 5）；主机可能处于锁屏或安全桌面、前台为管理员窗口、远程会话已断开，或被安全软件拦截";
const std::string error_5_taskmgr =
    "：Windows 拒绝访问（错误 5）；前台窗口 Taskmgr.exe 可能以管理员权限运行，或主机处于锁屏/安全桌面、远程会话已断开、被安全软件拦截";
const std::string error_87 = "：输入参数无效（Win32 错误 87），请反馈客户端与主机版本";

constexpr std::uint32_t fg = 4242;
constexpr const char* taskmgr = "C:\\Windows\\System32\\Taskmgr.exe";

struct Host {
  std::optional<std::string> desktop = "Default";
  std::optional<std::uint32_t> foreground_pid = fg;
  std::optional<std::string> foreground_path = taskmgr;
  system::Elevation foreground = system::Elevation::not_elevated;
  system::Elevation own = system::Elevation::elevated;
};

struct DiagnosisCase {
  const char* what;
  std::uint32_t sent, requested, error;
  Host host;
  std::string expected;  // the whole message
  bool host_examined;
};

void PrintTo(const DiagnosisCase& c, std::ostream* out) { *out << c.what; }

std::string base(std::uint32_t sent, std::uint32_t requested) {
  return "系统拒绝了输入注入（" + std::to_string(sent) + "/" + std::to_string(requested) + "）";
}

class Diagnosis : public ::testing::TestWithParam<DiagnosisCase> {};

TEST_P(Diagnosis, ComposesTheExplanationOfTheHostItSaw) {
  const DiagnosisCase& c = GetParam();
  FakeProbe probe;
  probe.desktop = c.host.desktop;
  probe.foreground_pid = c.host.foreground_pid;
  if (c.host.foreground_path) {
    probe.path_of[fg] = *c.host.foreground_path;
  }
  probe.elevation_of[fg] = c.host.foreground;
  system::FakeElevation elevation(c.host.own);

  EXPECT_EQ(describe_injection_failure(probe, elevation, c.sent, c.requested, c.error), c.expected) << c.what;
  EXPECT_EQ(probe.desktop_queries > 0, c.host_examined) << c.what;
  if (!c.host_examined) {
    EXPECT_EQ(probe.foreground_queries, 0) << c.what;
  }
}

const Host locked{.desktop = "Winlogon", .foreground = system::Elevation::elevated,
                  .own = system::Elevation::not_elevated};
const Host unreadable{.desktop = std::nullopt, .foreground = system::Elevation::elevated,
                      .own = system::Elevation::not_elevated};
const Host uipi{.foreground = system::Elevation::elevated, .own = system::Elevation::not_elevated};

INSTANTIATE_TEST_SUITE_P(
    Cases, Diagnosis,
    ::testing::Values(
        DiagnosisCase{"secure desktop", 0, 2, 5, locked, base(0, 2) + secure_desktop, true},
        DiagnosisCase{"secure desktop with error 0", 0, 1, 0, locked, base(0, 1) + secure_desktop,
                      true},
        DiagnosisCase{"desktop unreadable, whatever the foreground", 1, 4, 5, unreadable,
                      base(1, 4) + desktop_unreadable, true},
        DiagnosisCase{"Default in other letter case is the normal desktop", 0, 1, 0,
                      Host{.desktop = "DEFAULT"}, base(0, 1) + error_0, true},
        DiagnosisCase{"Default with non-ASCII look-alike is not", 0, 1, 0,
                      Host{.desktop = "Defaul\xC5\xA5"}, base(0, 1) + secure_desktop, true},
        DiagnosisCase{"error 87 never looks at the host", 3, 64, 87, locked, base(3, 64) + error_87,
                      false},
        DiagnosisCase{"other codes never look at the host", 0, 1, 1450, locked,
                      base(0, 1) + "：Win32 错误 1450", false},
        DiagnosisCase{"codes are written unsigned", 0, 1, 0xFFFFFFFFu, Host{},
                      base(0, 1) + "：Win32 错误 4294967295", false},
        DiagnosisCase{"error 0, foreground not elevated", 0, 1, 0, Host{}, base(0, 1) + error_0,
                      true},
        DiagnosisCase{"error 5, foreground not elevated, named", 0, 1, 5, Host{},
                      base(0, 1) + error_5_taskmgr, true},
        DiagnosisCase{"elevated foreground, helper not elevated", 0, 1, 5, uipi,
                      base(0, 1) + elevated_taskmgr, true},
        DiagnosisCase{"elevated foreground, helper elevation unknown", 0, 1, 0,
                      Host{.foreground = system::Elevation::elevated, .own = system::Elevation::unknown},
                      base(0, 1) + elevated_taskmgr, true},
        DiagnosisCase{"elevated foreground, helper elevated too", 0, 1, 5,
                      Host{.foreground = system::Elevation::elevated, .own = system::Elevation::elevated},
                      base(0, 1) + error_5_taskmgr, true},
        DiagnosisCase{"elevated foreground without a readable path", 0, 1, 5,
                      Host{.foreground_path = std::nullopt, .foreground = system::Elevation::elevated,
                           .own = system::Elevation::not_elevated},
                      base(0, 1) + elevated_unnamed, true},
        DiagnosisCase{"foreground process cannot be opened", 0, 1, 5,
                      Host{.foreground_path = std::nullopt, .foreground = system::Elevation::unknown,
                           .own = system::Elevation::not_elevated},
                      base(0, 1) + error_5_unnamed, true},
        DiagnosisCase{"no foreground window", 0, 1, 5,
                      Host{.foreground_pid = std::nullopt, .own = system::Elevation::not_elevated},
                      base(0, 1) + error_5_unnamed, true}));

TEST(ForegroundProcessName, IsTheLastPathComponentOrAbsent) {
  FakeProbe probe;
  probe.foreground_pid = fg;
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {taskmgr, "Taskmgr.exe"},
      {"C:/tools/mixed\\sep/app.exe", "app.exe"},
      {"bare.exe", "bare.exe"},
      {"C:\\ends\\with\\", std::nullopt},
  };
  for (const auto& [path, name] : cases) {
    probe.path_of[fg] = path;
    EXPECT_EQ(foreground_process_name(probe), name) << path;
  }
  EXPECT_EQ(probe.last_path_capacity, 512u);

  probe.foreground_pid = std::nullopt;
  EXPECT_EQ(foreground_process_name(probe), std::nullopt);
}

}  // namespace
}  // namespace vorlane::input
