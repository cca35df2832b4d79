#pragma once
// The installation's running processes over Windows: discovery by image path key, waiting on a
// process handle, the exit event of a current build and the tray window of an older one.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <expected>
#include <string>

#include "installer/shutdown-helper/preflight.hpp"
#include "src/common/win32/unique_handle.hpp"

namespace vorlane::haltgate {

class ProcessWin32 final : public Process {
 public:
  ProcessWin32(vorlane::win32::unique_handle handle, std::uint32_t pid)
      : handle_(std::move(handle)), pid_(pid) {}
  std::uint32_t pid() const override { return pid_; }
  [[nodiscard]] std::expected<bool, std::string> wait(std::chrono::milliseconds timeout) override;

 private:
  vorlane::win32::unique_handle handle_;
  std::uint32_t pid_;
};

class InstallationProcessesWin32 final : public InstallationProcesses {
 public:
  [[nodiscard]] std::expected<ProcessList, std::string> find_installation_processes(
      const std::string& target_key) override;
  [[nodiscard]] std::expected<ExitEvent, std::string> signal_exit_event(std::uint32_t pid) override;
  [[nodiscard]] std::expected<TrayQuit, std::string> post_legacy_tray_quit(std::uint32_t pid) override;
};

}  // namespace vorlane::haltgate
