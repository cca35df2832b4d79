#pragma once
// The user-facing texts, retry budgets and fixed values of the setup side, in one place.
#include <chrono>
#include <string_view>

namespace vorlane::setup {

inline constexpr std::string_view install_succeeded = "已启用管理员控制；登录后自动启动，不再弹 UAC";
inline constexpr std::string_view install_needs_admin = "启用管理员控制需要管理员权限";
inline constexpr std::string_view other_account = "请使用当前登录的管理员账户完成安装";
inline constexpr std::string_view gui_missing =
    "找不到 Vorlane.exe，请从已安装的 Vorlane 中启用管理员控制";
inline constexpr std::string_view own_path_failed = "无法定位输入助手：";
// After own_path_failed: the file at the program's name is not the one that was started.
inline constexpr std::string_view own_program_replaced = "程序文件已不是正在运行的程序（可能已被替换）";
inline constexpr std::string_view create_dir_failed = "无法创建安装目录：";
inline constexpr std::string_view copy_failed = "无法复制输入助手到 Program Files：";
inline constexpr std::string_view record_write_failed = "无法写入安装记录：";
inline constexpr std::string_view task_file_write_failed = "无法写入计划任务 XML：";
inline constexpr std::string_view uninstall_succeeded = "已移除管理员控制";
inline constexpr std::string_view uninstall_needs_admin = "移除管理员控制需要管理员权限";
inline constexpr std::string_view schtasks_not_started = "无法运行 schtasks：";
inline constexpr std::string_view schtasks_failed = " 失败：";
// Around the limit in seconds: "schtasks 在 120 秒内没有结束".
inline constexpr std::string_view schtasks_timed_out_head = "schtasks 在 ";
inline constexpr std::string_view schtasks_timed_out_tail = " 秒内没有结束";

inline constexpr unsigned record_schema = 1;

// A helper just ended may hold its program file for a moment; these budgets cover that.
inline constexpr int copy_attempts = 20;
inline constexpr int remove_attempts = 20;
inline constexpr std::chrono::milliseconds retry_pause{100};

}  // namespace vorlane::setup
