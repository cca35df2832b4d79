#pragma once
// The serve loop's system queries and its client process on Windows.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "src/common/win32/unique_handle.hpp"
#include "src/input_helper/serve/serve_platform.hpp"

namespace vorlane::serve {

// Holds the process opened when the client connected, so every check concerns that process.
class ClientProcessWin32 final : public ClientProcess {
 public:
  explicit ClientProcessWin32(win32::unique_handle process) : process_(std::move(process)) {}
  std::optional<std::string> image_path(std::uint32_t capacity) override;
  bool running() override;

 private:
  win32::unique_handle process_;
};

class SystemQueriesWin32 final : public SystemQueries {
 public:
  std::optional<std::string> current_user_sid() override;
  std::uint32_t own_pid() override;
  std::optional<std::uint32_t> session_of_process(std::uint32_t pid) override;
  std::optional<std::string> input_desktop_name() override;
  std::unique_ptr<ClientProcess> open_client(std::uint32_t pid) override;
};

}  // namespace vorlane::serve
