#pragma once
// Texts, limits and timings of the serve side, in one place.
#include <chrono>
#include <cstdint>
#include <string_view>

namespace vorlane::serve {

inline constexpr std::chrono::seconds handshake_deadline{5};
// How often an idle client is checked for being still alive.
inline constexpr std::chrono::seconds idle_deadline{1};
inline constexpr int create_attempts = 10;
inline constexpr std::chrono::milliseconds create_retry_delay{500};
// How long the last reply before a disconnect may wait for the client to read it, and how often
// the pipe is asked meanwhile.
inline constexpr std::chrono::seconds reply_read_limit{1};
inline constexpr std::chrono::milliseconds reply_read_poll{10};
inline constexpr std::uint32_t client_image_path_capacity = 1024;

inline constexpr std::string_view retrying_suffix = "; retrying";

inline constexpr std::string_view no_session = "无法读取当前 Windows 会话";
inline constexpr std::string_view no_record = "未找到管理员控制安装记录，请重新启用";
inline constexpr std::string_view wait_failed_prefix = "等待输入助手客户端失败：";

inline constexpr std::string_view open_token_failed_prefix = "无法打开进程令牌：";
inline constexpr std::string_view lookup_privilege_failed_prefix = "无法查询 SeSecurityPrivilege：";
inline constexpr std::string_view enable_privilege_failed_prefix = "无法启用 SeSecurityPrivilege：";
// Followed by the code in full-width parentheses when the token does not hold the privilege.
inline constexpr std::string_view privilege_not_held_prefix = "无法启用 SeSecurityPrivilege";
inline constexpr std::string_view descriptor_failed_prefix = "无法创建管道安全描述符：";
inline constexpr std::string_view create_pipe_what = "创建输入助手管道";

inline constexpr std::string_view handshake_timeout = "客户端握手超时";
inline constexpr std::string_view handshake_invalid = "客户端协议无效";
inline constexpr std::string_view unsupported_protocol = "不支持的输入助手协议";
inline constexpr std::string_view unsupported_request = "不支持的输入请求";

}  // namespace vorlane::serve
