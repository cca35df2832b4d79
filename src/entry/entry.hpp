#pragma once
// Mode selection, the run outcome file and the exit code of Keyward.
#include <chrono>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorlane::entry {

inline constexpr std::string_view usage_text =
    "用法: Keyward.exe --serve | --install --user-sid <SID> --gui-dir <DIR> | --uninstall";
inline constexpr std::string_view outcome_file_name = "input-helper-setup.json";
// Said on standard error, followed by the file's path, when the file is a planted link or lies
// where the user who started the run may not write.
inline constexpr std::string_view outcome_refused_text =
    "运行结果文件不是其位置上的普通文件（可能是链接），未写入：";

inline constexpr int exit_success = 0;
inline constexpr int exit_failure = 1;

enum class [[nodiscard]] FileWrite { written, failed, refused };

// What the entry hands over to, and the little it needs from the system.
class EntryPlatform {
 public:
  virtual ~EntryPlatform() = default;
  // Runs until a fatal condition and returns its text.
  [[nodiscard]] virtual std::string serve(bool test_mode, const std::optional<std::string>& pipe_override) = 0;
  // The success message or the error text.
  [[nodiscard]] virtual std::expected<std::string, std::string> install(
      const std::string& gui_dir, const std::optional<std::string>& user_sid) = 0;
  [[nodiscard]] virtual std::expected<std::string, std::string> uninstall() = 0;
  [[nodiscard]] virtual std::optional<std::string> local_app_data() = 0;
  // Creates the missing parent folders, then replaces the content of `folder` joined with `tail`
  // unless the file proves not to be the plain file there (a link anywhere in `tail`): `folder`
  // is the system's choice, `tail` may have been changed by any program of the user. All of it
  // with no more than the user's rights; refused where those do not reach.
  [[nodiscard]] virtual FileWrite write_file(const std::string& folder, const std::string& tail,
                               const std::string& bytes) = 0;
  // One diagnostic line on standard error, line feed included.
  virtual void write_error_line(std::string_view line) = 0;
  virtual std::chrono::system_clock::time_point now() = 0;
};

// Whole seconds since 1970, truncated; 0 for a clock that reads earlier.
std::uint64_t unix_seconds(std::chrono::system_clock::time_point time);

std::string run_outcome_path(const std::optional<std::string>& local_app_data);
// The outcome file's path below the local application-data folder.
std::string run_outcome_tail();
std::string run_outcome_bytes(bool ok, std::string_view action, std::string_view message,
                              std::uint64_t at);

// `words` are the command-line words, the program path first. Returns the exit code.
[[nodiscard]] int run(const std::vector<std::string>& words, EntryPlatform& platform);

}  // namespace vorlane::entry
