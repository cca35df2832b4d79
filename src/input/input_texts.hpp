#pragma once
// The user-facing texts of input injection, byte for byte as clients receive them.
#include <string_view>

namespace vorlane::input {

// Request refusals (the control-off refusal is the product-wide one).
inline constexpr std::string_view unknown_request = "未知输入请求";
inline constexpr std::string_view key_without_code = "按键请求缺少 code";
inline constexpr std::string_view unsupported_key = "不支持此按键";
inline constexpr std::string_view text_without_text = "文本请求缺少 text";
inline constexpr std::string_view unsupported_button = "不支持此鼠标按钮";

// Injection failures: the base text wraps "sent/requested", a suffix follows directly.
inline constexpr std::string_view failure_base_open = "系统拒绝了输入注入（";
inline constexpr std::string_view failure_base_close = "）";

inline constexpr std::string_view secure_desktop =
    "：主机当前处于锁屏或 UAC 安全桌面，Windows 不允许注入输入；请先在主机解锁并关闭安全桌面，再重新开启控制";
inline constexpr std::string_view desktop_unreadable =
    "：无法读取主机的输入桌面，通常表示主机已锁屏或处于 UAC 安全桌面；请先在主机解锁，再重新开启控制";
inline constexpr std::string_view elevated_foreground =
    "：主机前台窗口以管理员权限运行，普通权限的 Vorlane 无法向它注入输入（UIPI）；请切换到普通窗口，或在主机安装“管理员控制”";
inline constexpr std::string_view elevated_foreground_named_before = "：主机前台窗口 ";
inline constexpr std::string_view elevated_foreground_named_after =
    " 以管理员权限运行，普通权限的 Vorlane 无法向它注入输入（UIPI）；请切换到普通窗口，或在主机安装“管理员控制”";
inline constexpr std::string_view error_0 =
    "：主机桌面当前不接受输入，可能已锁屏、处于安全桌面，或被安全软件拦截";
inline constexpr std::string_view error_5 =
    "：Windows 拒绝访问（错误 5）；主机可能处于锁屏或安全桌面、前台为管理员窗口、远程会话已断开，或被安全软件拦截";
inline constexpr std::string_view error_5_named_before = "：Windows 拒绝访问（错误 5）；前台窗口 ";
inline constexpr std::string_view error_5_named_after =
    " 可能以管理员权限运行，或主机处于锁屏/安全桌面、远程会话已断开、被安全软件拦截";
inline constexpr std::string_view error_87 = "：输入参数无效（Win32 错误 87），请反馈客户端与主机版本";
inline constexpr std::string_view other_error = "：Win32 错误 ";

}  // namespace vorlane::input
