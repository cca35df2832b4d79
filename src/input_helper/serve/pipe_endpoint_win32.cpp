#include "src/input_helper/serve/pipe_endpoint_win32.hpp"

#include <sddl.h>
#include <winternl.h>

#include "src/common/error_text.hpp"
#include "src/common/win32/system_error.hpp"
#include "src/common/win32/wide.hpp"
#include "src/input_helper/serve/pipe_name.hpp"
#include "src/input_helper/serve/serve_texts.hpp"

namespace vorlane::serve {
namespace {

// FILE_PIPE_CONNECTED_STATE, not named by the MinGW-w64 headers.
constexpr ULONG file_pipe_connected_state = 3;
static_assert(FilePipeLocalInformation == 24);

std::expected<void, std::string> enable_security_privilege() {
  win32::unique_handle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put())) {
    return std::unexpected(std::string(open_token_failed_prefix) +
                           win32::last_windows_error_text());
  }
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!::LookupPrivilegeValueW(nullptr, L"SeSecurityPrivilege", &privileges.Privileges[0].Luid)) {
    return std::unexpected(std::string(lookup_privilege_failed_prefix) +
                           win32::last_windows_error_text());
  }
  const BOOL adjusted = ::AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
  // Success with ERROR_NOT_ALL_ASSIGNED means the token does not hold the privilege.
  const DWORD code = ::GetLastError();
  token.reset();
  return privilege_adjustment_outcome(adjusted != FALSE, code,
                                      code != ERROR_SUCCESS ? win32::system_message(code) : std::nullopt);
}

}  // namespace

std::expected<win32::unique_handle, std::string> create_pipe_instance(const std::string& name,
                                                               const std::string& user_sid,
                                                               bool test_mode) {
  const std::wstring wide_name = win32::to_wide(name);
  win32::unique_hlocal descriptor;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
  if (!test_mode) {
    const std::wstring sddl = win32::to_wide(pipe_security_sddl(user_sid));
    if (auto enabled = enable_security_privilege(); !enabled) return std::unexpected(enabled.error());
    PSECURITY_DESCRIPTOR converted = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                &converted, nullptr)) {
      return std::unexpected(std::string(descriptor_failed_prefix) +
                             win32::last_windows_error_text());
    }
    descriptor.reset(converted);
    attributes.lpSecurityDescriptor = converted;
  }
  win32::unique_handle pipe(::CreateNamedPipeW(wide_name.c_str(), pipe_open_mode, pipe_mode, 1,
                                        pipe_buffer_bytes, pipe_buffer_bytes, 0,
                                        test_mode ? nullptr : &attributes));
  const DWORD code = ::GetLastError();
  descriptor.reset();
  if (!pipe) {
    return std::unexpected(std::string(create_pipe_what) + " 失败" + win32_code_text(code));
  }
  return pipe;
}

std::expected<void, std::string> PipeEndpointWin32::create_instance(const std::string& name,
                                                                    const std::string& user_sid,
                                                                    bool test_mode) {
  auto pipe = create_pipe_instance(name, user_sid, test_mode);
  if (!pipe) return std::unexpected(std::move(pipe.error()));
  instance_ = std::move(*pipe);
  io_ = pipe::PipeIoWin32(instance_.get());
  return {};
}

WaitOutcome PipeEndpointWin32::wait_for_client() {
  if (::ConnectNamedPipe(instance_.get(), nullptr)) return ClientConnected{};
  const DWORD code = ::GetLastError();
  if (code == ERROR_PIPE_CONNECTED) return ClientConnected{};
  // The client connected and closed its end before this call; the instance is fine.
  if (code == ERROR_NO_DATA) return ClientLeftEarly{};
  return WaitFailed{win32::windows_error_text(code)};
}

std::optional<std::uint32_t> PipeEndpointWin32::client_pid() {
  ULONG pid = 0;
  if (!::GetNamedPipeClientProcessId(instance_.get(), &pid)) return std::nullopt;
  return pid;
}

std::optional<OutboundState> PipeEndpointWin32::outbound() {
  IO_STATUS_BLOCK status{};
  FILE_PIPE_LOCAL_INFORMATION info{};
  if (!NT_SUCCESS(::NtQueryInformationFile(instance_.get(), &status, &info, sizeof info,
                                           FilePipeLocalInformation))) {
    return std::nullopt;
  }
  return OutboundState{info.NamedPipeState == file_pipe_connected_state, info.OutboundQuota,
                       info.WriteQuotaAvailable};
}

void PipeEndpointWin32::disconnect() { ::DisconnectNamedPipe(instance_.get()); }

}  // namespace vorlane::serve
