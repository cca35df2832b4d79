#pragma once
// The helper's named pipe instance on Windows.
#include <windows.h>

#include <expected>
#include <string>

#include "src/common/win32/unique_handle.hpp"
#include "src/input_helper/pipe/pipe_io_win32.hpp"
#include "src/input_helper/serve/serve_platform.hpp"

namespace vorlane::serve {

inline constexpr DWORD pipe_open_mode = PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE;
inline constexpr DWORD pipe_mode =
    PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS;
inline constexpr DWORD pipe_buffer_bytes = 65536;

// One attempt: outside test mode with the restricted descriptor (after enabling
// SeSecurityPrivilege, which setting its label needs); in test mode with default security.
[[nodiscard]] std::expected<win32::unique_handle, std::string> create_pipe_instance(const std::string& name,
                                                               const std::string& user_sid,
                                                               bool test_mode);

class PipeEndpointWin32 final : public PipeEndpoint {
 public:
  [[nodiscard]] std::expected<void, std::string> create_instance(const std::string& name,
                                                   const std::string& user_sid,
                                                   bool test_mode) override;
  [[nodiscard]] WaitOutcome wait_for_client() override;
  std::optional<std::uint32_t> client_pid() override;
  pipe::PipeIo& io() override { return io_; }
  // From the pipe's local information (NtQueryInformationFile, FilePipeLocalInformation): for
  // the server end, the write quota available is the outbound quota less what the client has
  // not read. Wine reports it as 0 whatever was read, so there the wait ends only when the
  // client closes its end or the limit runs out.
  std::optional<OutboundState> outbound() override;
  void disconnect() override;

 private:
  win32::unique_handle instance_;
  pipe::PipeIoWin32 io_{nullptr};
};

}  // namespace vorlane::serve
