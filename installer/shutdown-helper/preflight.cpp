#include "installer/shutdown-helper/preflight.hpp"

#include <algorithm>

#include "installer/shutdown-helper/constants.hpp"
#include "installer/shutdown-helper/settings.hpp"
#include "src/common/path.hpp"

namespace vorlane::haltgate {
namespace {

using std::chrono::milliseconds;

enum class LegacyBuildState { undetermined, verified, not_verified };

std::unexpected<RunFailure> fail(int code, std::string message) {
  return std::unexpected(RunFailure{std::move(message), code});
}

std::string pid_text(std::uint32_t pid) { return std::to_string(pid); }

class Run {
 public:
  Run(Log& log, const PreflightSystem& system, Clock& clock, LegacyDigests digests)
      : log_(log), system_(system), clock_(clock), digests_(digests), holder_report_(system.holders, clock) {}

  std::expected<void, RunFailure> execute(const std::string& install_dir, milliseconds timeout) {
    if (!is_absolute_path(install_dir)) {
      return fail(exit_error, std::string(msg_install_dir_not_absolute));
    }
    exe_path_ = join_path(install_dir, vorlane_exe_name);
    log_.write_line(std::string(log_begin) + install_dir);

    if (auto exe = system_.paths.read_attributes(exe_path_); !exe) {
      if (!means_not_found(exe.error())) {
        return fail(exit_error, std::move(exe.error().text));  // unreadable is not absent
      }
      // Nothing can run from this installation; prove its files free once, without waiting.
      if (auto unlocked = system_.unlock.verify_unlocked(install_dir, clock_.now() + timeout); !unlocked) {
        return fail(exit_error, unlocked.error());
      }
      return {};
    }

    auto target_key = system_.paths.path_key(exe_path_);
    if (!target_key) {
      return fail(exit_error, target_key.error());
    }
    target_key_ = std::move(*target_key);

    deadline_ = clock_.now() + timeout;
    request_budget_ = timeout > request_grace ? timeout - request_grace : milliseconds(0);

    auto processes = system_.processes.find_installation_processes(target_key_);
    if (!processes) {
      return fail(exit_error, processes.error());
    }
    ProcessList list = std::move(*processes);
    while (!list.empty()) {
      for (auto& process : list) {
        if (auto requested = request_exit(*process); !requested) {
          return requested;
        }
      }
      for (auto& process : list) {
        if (auto waited = wait_for_exit(process); !waited) {
          return waited;
        }
      }
      auto next = enumerate_after_wait();
      if (!next) {
        return std::unexpected(std::move(next.error()));
      }
      list = std::move(*next);
    }

    if (auto unlocked = verify_until_deadline(install_dir); !unlocked) {
      return unlocked;
    }
    log_.write_line(log_success);
    return {};
  }

 private:
  bool deadline_reached() { return clock_.now() >= deadline_; }

  Clock::time_point::duration remaining() {
    const auto now = clock_.now();
    return now >= deadline_ ? Clock::time_point::duration::zero() : deadline_ - now;
  }

  // Once more than the grace period of the run has passed; never with a timeout of at most it.
  bool beyond_request_budget() { return remaining() < request_budget_; }

  std::expected<bool, RunFailure> has_exited(Process& process) {
    auto exited = process.wait(milliseconds(0));
    if (!exited) {
      return fail(exit_error, exited.error());
    }
    return *exited;
  }

  std::expected<void, RunFailure> request_exit(Process& process) {
    const std::uint32_t pid = process.pid();
    auto exited = has_exited(process);
    if (!exited) {
      return std::unexpected(std::move(exited.error()));
    }
    if (*exited) {
      return {};  // left by itself: no request, but its exit is still logged by the wait
    }
    while (!deadline_reached()) {
      exited = has_exited(process);
      if (!exited) {
        return std::unexpected(std::move(exited.error()));
      }
      if (*exited) {
        break;
      }

      auto event = system_.processes.signal_exit_event(pid);
      if (!event) {
        return fail(exit_error, event.error());
      }
      if (*event == ExitEvent::signalled) {
        log_.write_line("pid=" + pid_text(pid) + std::string(log_method_event));
        return {};
      }

      if (legacy_ == LegacyBuildState::undetermined) {
        auto digest = system_.hashes.sha256_file(exe_path_);
        if (!digest) {
          return fail(exit_error, digest.error());
        }
        const bool listed = std::find(digests_.begin(), digests_.end(), *digest) != digests_.end();
        legacy_ = listed ? LegacyBuildState::verified : LegacyBuildState::not_verified;
      }
      if (legacy_ == LegacyBuildState::verified) {
        auto posted = system_.processes.post_legacy_tray_quit(pid);
        if (!posted) {
          return fail(exit_error, posted.error());
        }
        if (*posted == TrayQuit::posted) {
          log_.write_line("pid=" + pid_text(pid) + std::string(log_method_tray));
          return {};
        }
      }

      if (beyond_request_budget()) {
        return fail(exit_no_interface,
                    std::string(msg_pid_prefix) + pid_text(pid) + std::string(msg_no_interface_suffix));
      }
      clock_.sleep(request_retry_interval);
    }
    exited = has_exited(process);
    if (!exited) {
      return std::unexpected(std::move(exited.error()));
    }
    if (*exited) {
      return {};
    }
    return fail(exit_timed_out, std::string(msg_request_timeout_prefix) + pid_text(pid));
  }

  std::expected<void, RunFailure> wait_for_exit(std::unique_ptr<Process>& process) {
    const std::uint32_t pid = process->pid();
    for (;;) {
      const milliseconds slice =
          std::min(std::chrono::duration_cast<milliseconds>(remaining()), milliseconds(wait_slice));
      auto exited = process->wait(slice);
      if (!exited) {
        return fail(exit_error, exited.error());
      }
      if (*exited) {
        break;
      }
      if (deadline_reached()) {
        return fail(exit_timed_out,
                    std::string(msg_pid_prefix) + pid_text(pid) + std::string(msg_wait_timeout_suffix));
      }
      if (legacy_ == LegacyBuildState::verified) {
        // An older build may have missed the first command while busy; repeat it each slice.
        if (auto posted = system_.processes.post_legacy_tray_quit(pid); !posted) {
          return fail(exit_error, posted.error());
        }
      }
    }
    log_.write_line("pid=" + pid_text(pid) + std::string(log_exited));
    process.reset();
    return {};
  }

  std::expected<ProcessList, RunFailure> enumerate_after_wait() {
    if (deadline_reached()) {
      auto late = system_.processes.find_installation_processes(target_key_);
      if (!late) {
        return fail(exit_error, late.error());
      }
      if (!late->empty()) {
        return fail(exit_timed_out, std::string(msg_restarted));
      }
    }
    auto next = system_.processes.find_installation_processes(target_key_);
    if (!next) {
      return fail(exit_error, next.error());
    }
    return std::move(*next);
  }

  std::expected<void, RunFailure> verify_until_deadline(const std::string& install_dir) {
    auto unlocked = system_.unlock.verify_unlocked(install_dir, deadline_);
    while (!unlocked) {
      if (deadline_reached()) {
        return fail(exit_error, unlocked.error());
      }
      log_.write_line(unlocked.error());
      for (const std::string& line : holder_report_.lines_for(unlocked.error())) {
        log_.write_line(line);
      }
      clock_.sleep(unlock_retry_interval);
      if (deadline_reached()) {
        // A walk started now would stop at once; the last one's finding says more.
        return fail(exit_error, unlocked.error());
      }
      unlocked = system_.unlock.verify_unlocked(install_dir, deadline_);
    }
    return {};
  }

  Log& log_;
  PreflightSystem system_;
  Clock& clock_;
  LegacyDigests digests_;
  std::string exe_path_;
  std::string target_key_;
  Clock::time_point deadline_{};
  milliseconds request_budget_{0};
  LegacyBuildState legacy_ = LegacyBuildState::undetermined;
  HolderReport holder_report_;
};

}  // namespace

bool means_not_found(const SystemError& error) {
  return error.code == error_file_not_found || error.code == error_path_not_found;
}

std::expected<void, RunFailure> run_preflight(const std::string& install_dir,
                                              std::chrono::milliseconds timeout, Log& log,
                                              const PreflightSystem& system, Clock& clock,
                                              LegacyDigests legacy_digests) {
  return Run(log, system, clock, legacy_digests).execute(install_dir, timeout);
}

int run_haltgate(const std::vector<std::string>& words, EntrySystem& entry,
                 const PreflightSystem& system, Clock& clock, LegacyDigests legacy_digests) {
  const auto settings = parse_settings(words);
  if (!settings) {
    return settings.error();
  }
  for (const std::string& dir : parent_directories(settings->log_path)) {
    if (!entry.create_directory(dir)) {
      return exit_error;
    }
  }
  std::unique_ptr<Log> log = entry.open_log(settings->log_path);
  if (!log) {
    return exit_error;
  }
  const auto outcome =
      run_preflight(settings->install_dir, settings->timeout, *log, system, clock, legacy_digests);
  if (!outcome) {
    log->write_line(std::string(log_failure) + std::to_string(outcome.error().code) + " " +
                    outcome.error().message);
    return outcome.error().code;
  }
  return exit_success;
}

}  // namespace vorlane::haltgate
