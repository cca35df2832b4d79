#pragma once
// The run of Haltgate: find the installation's Vorlane.exe processes, ask each to exit, wait
// for them until the deadline, and prove that the installation's executable files are unlocked.
// The system is reached through the interfaces below so the order of a run can be checked
// against a fake clock and fake processes.
#include <chrono>
#include <cstdint>
#include <expected>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "installer/shutdown-helper/holders.hpp"
#include "src/common/clock.hpp"

namespace vorlane::haltgate {

struct [[nodiscard]] RunFailure {
  std::string message;
  int code = 0;
};

// One running process of the installation; destroying it closes its handle.
class Process {
 public:
  virtual ~Process() = default;
  virtual std::uint32_t pid() const = 0;
  // Waits up to `timeout` for the process to end: true once it has exited.
  [[nodiscard]] virtual std::expected<bool, std::string> wait(std::chrono::milliseconds timeout) = 0;
};
using ProcessList = std::vector<std::unique_ptr<Process>>;

enum class [[nodiscard]] ExitEvent { not_present, signalled };
enum class [[nodiscard]] TrayQuit { no_tray_window, posted };

class Log {
 public:
  virtual ~Log() = default;
  // Writes one time-stamped line; failures are ignored.
  virtual void write_line(std::string_view text) = 0;
};

// A failed system call: its code, for the decisions that depend on it, and its system error text.
struct SystemError {
  std::uint32_t code = 0;
  std::string text;
};

// Only these two codes prove that nothing is there; any other failure may hide a file.
[[nodiscard]] bool means_not_found(const SystemError& error);

// The installation's files by path. Paths are UTF-8; links are followed.
class PathKeys {
 public:
  virtual ~PathKeys() = default;
  // Succeeds when the file's attributes can be read.
  [[nodiscard]] virtual std::expected<void, SystemError> read_attributes(const std::string& path) = 0;
  // The key two paths of one file share: its final path, lower-cased.
  [[nodiscard]] virtual std::expected<std::string, std::string> path_key(const std::string& path) = 0;
};

// The running processes of the installation and the two ways of asking one to exit.
class InstallationProcesses {
 public:
  virtual ~InstallationProcesses() = default;
  // Every running process whose image has the path key `target_key`.
  [[nodiscard]] virtual std::expected<ProcessList, std::string> find_installation_processes(
      const std::string& target_key) = 0;
  // Opens the process's exit event and signals it when present.
  [[nodiscard]] virtual std::expected<ExitEvent, std::string> signal_exit_event(std::uint32_t pid) = 0;
  [[nodiscard]] virtual std::expected<TrayQuit, std::string> post_legacy_tray_quit(std::uint32_t pid) = 0;
};

class FileDigests {
 public:
  virtual ~FileDigests() = default;
  // SHA-256 of the file as 64 lower-case hexadecimal digits.
  [[nodiscard]] virtual std::expected<std::string, std::string> sha256_file(const std::string& path) = 0;
};

class UnlockCheck {
 public:
  virtual ~UnlockCheck() = default;
  // Succeeds once no executable file under `directory` is open; otherwise the first one's text.
  // A walk that reaches `deadline` stops there with an error naming the folder it had reached.
  [[nodiscard]] virtual std::expected<void, std::string> verify_unlocked(const std::string& directory,
                                                                         Clock::time_point deadline) = 0;
};

// Everything a run asks of the system, one interface per job.
struct PreflightSystem {
  PathKeys& paths;
  InstallationProcesses& processes;
  FileDigests& hashes;
  UnlockCheck& unlock;
  // Names the programs holding a locked file in the log; without it (null) nobody is named.
  FileHolders* holders = nullptr;
};

// What the entry needs before a run: the log's folders and the log itself.
class EntrySystem {
 public:
  virtual ~EntrySystem() = default;
  [[nodiscard]] virtual bool create_directory(const std::string& path) = 0;  // an existing folder is fine
  [[nodiscard]] virtual std::unique_ptr<Log> open_log(const std::string& path) = 0;  // null on failure
};

// Digests of the older builds that are asked to quit through their tray window.
using LegacyDigests = std::span<const std::string_view>;

[[nodiscard]] std::expected<void, RunFailure> run_preflight(const std::string& install_dir,
                                                            std::chrono::milliseconds timeout, Log& log,
                                                            const PreflightSystem& system, Clock& clock,
                                                            LegacyDigests legacy_digests);

// The whole program: command line, log, run, failure line. Returns the exit code.
[[nodiscard]] int run_haltgate(const std::vector<std::string>& words, EntrySystem& entry,
                               const PreflightSystem& system, Clock& clock, LegacyDigests legacy_digests);

}  // namespace vorlane::haltgate
