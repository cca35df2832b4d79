#pragma once
// Haltgate's system adapters: each call goes to Windows and comes back translated.
#include <string_view>

#include "installer/shutdown-helper/preflight.hpp"

namespace vorlane::haltgate::win32 {

// Monotonic time from the high-resolution performance counter.
class PerformanceClock : public Clock {
 public:
  time_point now() override;
  void sleep(std::chrono::milliseconds duration) override;
};

class Win32PreflightSystem : public PreflightSystem {
 public:
  bool exists(const std::string& path) override;
  std::expected<std::string, std::string> path_key(const std::string& path) override;
  std::expected<ProcessList, std::string> find_installation_processes(
      const std::string& target_key) override;
  std::expected<ExitEvent, std::string> signal_exit_event(std::uint32_t pid) override;
  std::expected<std::string, std::string> sha256_file(const std::string& path) override;
  std::expected<TrayQuit, std::string> post_legacy_tray_quit(std::uint32_t pid) override;
  std::expected<void, std::string> verify_unlocked(const std::string& directory) override;
};

class Win32EntrySystem : public EntrySystem {
 public:
  bool create_directory(const std::string& path) override;
  std::unique_ptr<Log> open_log(const std::string& path) override;
};

// The whole program over the real system; returns the exit code.
int haltgate_main(std::wstring_view command_line, LegacyDigests legacy_digests);

}  // namespace vorlane::haltgate::win32
