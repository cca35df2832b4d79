#pragma once
// Haltgate's texts, limits and timings, in one place.
#include <chrono>
#include <cstdint>
#include <string_view>

namespace vorlane::haltgate {

using namespace std::chrono_literals;

// Exit codes the installer acts on.
inline constexpr int exit_success = 0;
inline constexpr int exit_timed_out = 10;
inline constexpr int exit_no_interface = 11;
inline constexpr int exit_error = 12;

// Command line.
inline constexpr std::string_view option_install_dir = "--install-dir";
inline constexpr std::string_view option_timeout_ms = "--timeout-ms";
inline constexpr std::string_view option_log = "--log";
inline constexpr std::string_view default_timeout_text = "30000";
inline constexpr std::chrono::milliseconds min_timeout = 100ms;
inline constexpr std::chrono::milliseconds max_timeout = 120000ms;

inline constexpr std::string_view vorlane_exe_name = "Vorlane.exe";

// The system's "not found" codes (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND).
inline constexpr std::uint32_t error_file_not_found = 2;
inline constexpr std::uint32_t error_path_not_found = 3;

// Timings of the request and wait phases.
inline constexpr std::chrono::milliseconds request_grace = 3s;  // the budget is the timeout minus this
inline constexpr std::chrono::milliseconds request_retry_interval = 100ms;
inline constexpr std::chrono::milliseconds wait_slice = 200ms;
inline constexpr std::chrono::milliseconds unlock_retry_interval = 100ms;

// The exit event a current build owns; its process id in decimal follows.
inline constexpr std::string_view exit_event_prefix = "Local\\Vorlane.InstallerExit.v1.";

// The tray window of an older build and the command that quits it.
inline constexpr std::string_view tray_window_class = "tray_icon_app";
inline constexpr std::string_view main_window_title = "Vorlane";
inline constexpr unsigned tray_quit_command = 1003;
inline constexpr std::size_t class_name_buffer_units = 64;
inline constexpr std::size_t window_title_buffer_units = 128;

inline constexpr std::size_t hash_read_size = 65536;

// Process discovery.
inline constexpr std::size_t initial_process_id_room = 1024;
inline constexpr std::size_t image_name_buffer_units = 32768;
inline constexpr std::size_t final_path_initial_units = 512;

// Log line texts.
inline constexpr std::string_view log_begin = "begin install_dir=";
inline constexpr std::string_view log_method_event = " method=local-exit-event-v1";
inline constexpr std::string_view log_method_tray = " method=verified-legacy-tray-quit";
inline constexpr std::string_view log_exited = " exited";
inline constexpr std::string_view log_success =
    "success: selected installation stopped and executable files unlocked";
inline constexpr std::string_view log_failure = "failure code=";
// Stands in the log for a line break inside a text (U+FFFD in UTF-8).
inline constexpr std::string_view line_break_replacement = "\xEF\xBF\xBD";

// Holders of a locked file: asked once per file in a run, for at most this long, and at most
// this many lines written after the file's line.
inline constexpr std::chrono::milliseconds holder_query_budget = 1s;
inline constexpr std::size_t max_holder_lines = 8;
inline constexpr std::string_view log_holder_pid = "holder pid=";
inline constexpr std::string_view log_holder_session = " session=";
inline constexpr std::string_view log_holder_app = " app=";
inline constexpr std::string_view log_holder_service = " service=";
inline constexpr std::string_view msg_holder_query_over_budget = "the holder query took longer than its bound";

// Failure messages.
inline constexpr std::string_view msg_install_dir_not_absolute = "Installation path must be absolute";
inline constexpr std::string_view msg_restarted = "Vorlane restarted during installation preflight";
inline constexpr std::string_view msg_pid_prefix = "Vorlane PID ";
inline constexpr std::string_view msg_no_interface_suffix =
    " has no supported graceful-exit interface; no process was killed";
inline constexpr std::string_view msg_request_timeout_prefix = "Timed out requesting exit from Vorlane PID ";
inline constexpr std::string_view msg_wait_timeout_suffix =
    " did not finish cleanup before timeout; installation was not started";
inline constexpr std::string_view msg_still_in_use = " is still in use or not writable: ";
inline constexpr std::string_view msg_walk_deadline = "Timed out verifying executable files; the walk had reached ";
inline constexpr std::string_view msg_sha256_status = "SHA256 status 0x";

}  // namespace vorlane::haltgate
