#pragma once
// The installation's running processes over Windows: discovery by image path key, waiting on a
// process handle, the exit event of a current build and the tray window of an older one.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "installer/shutdown-helper/discovery.hpp"
#include "installer/shutdown-helper/preflight.hpp"
#include "src/common/win32/unique_handle.hpp"

namespace vorlane::haltgate {

class ProcessWin32 final : public ProcessCandidate {
 public:
  ProcessWin32(vorlane::win32::unique_handle handle, std::uint32_t pid)
      : handle_(std::move(handle)), pid_(pid) {}
  std::uint32_t pid() const override { return pid_; }
  [[nodiscard]] std::expected<bool, std::string> wait(std::chrono::milliseconds timeout) override;
  [[nodiscard]] std::optional<std::u16string> image_path() override;

 private:
  vorlane::win32::unique_handle handle_;
  std::uint32_t pid_;
};

class ProcessTableWin32 final : public ProcessTable {
 public:
  [[nodiscard]] std::expected<std::vector<std::uint32_t>, std::string> process_ids() override;
  std::uint32_t own_pid() override;
  [[nodiscard]] std::unique_ptr<ProcessCandidate> open_process(std::uint32_t pid) override;
  [[nodiscard]] std::expected<std::string, std::string> image_key(std::u16string_view image_path) override;
};

class InstallationProcessesWin32 final : public InstallationProcesses {
 public:
  [[nodiscard]] std::expected<ProcessList, std::string> find_installation_processes(
      const std::string& target_key) override;
  [[nodiscard]] std::expected<ExitEvent, std::string> signal_exit_event(std::uint32_t pid) override;
  [[nodiscard]] std::expected<TrayQuit, std::string> post_legacy_tray_quit(std::uint32_t pid) override;

 private:
  ProcessTableWin32 table_;
};

}  // namespace vorlane::haltgate
