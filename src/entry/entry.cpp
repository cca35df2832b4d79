#include "src/entry/entry.hpp"

#include <nlohmann/json.hpp>

#include "src/common/cmdline.hpp"
#include "src/common/path.hpp"
#include "src/common/product.hpp"

namespace vorlane::entry {
namespace {

void write_run_outcome(EntryPlatform& platform, bool ok, std::string_view action,
                       std::string_view message) {
  const std::optional<std::string> local_app_data = platform.local_app_data();
  const FileWrite written =
      platform.write_file(local_app_data.value_or("."), run_outcome_tail(),
                          run_outcome_bytes(ok, action, message, unix_seconds(platform.now())));
  // Other write failures stay silent; a refused one is worth a line, as someone planted a link
  // or pointed the folder where the user may not write.
  if (written == FileWrite::refused) {
    platform.write_error_line(std::string(log_prefix) + std::string(outcome_refused_text) +
                              run_outcome_path(local_app_data) + "\n");
  }
}

int report(EntryPlatform& platform, std::string_view action,
           const std::expected<std::string, std::string>& result) {
  write_run_outcome(platform, result.has_value(), action, result ? *result : result.error());
  return result ? exit_success : exit_failure;
}

}  // namespace

std::uint64_t unix_seconds(std::chrono::system_clock::time_point time) {
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(time.time_since_epoch()).count();
  return seconds < 0 ? 0 : static_cast<std::uint64_t>(seconds);
}

std::string run_outcome_path(const std::optional<std::string>& local_app_data) {
  return join_path(local_app_data.value_or("."), run_outcome_tail());
}

std::string run_outcome_tail() { return join_path(product_folder_name, outcome_file_name); }

std::string run_outcome_bytes(bool ok, std::string_view action, std::string_view message,
                              std::uint64_t at) {
  nlohmann::ordered_json outcome;
  outcome["schema"] = 1;
  outcome["ok"] = ok;
  outcome["action"] = std::string(action);
  outcome["message"] = std::string(message);
  outcome["at"] = at;
  // The messages are built as UTF-8; should one not be, a replacement character beats no file.
  return outcome.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

int run(const std::vector<std::string>& words, EntryPlatform& platform) {
  const std::string_view mode = words.size() >= 2 ? std::string_view(words[1]) : std::string_view();
  if (mode == "--serve") {
    write_run_outcome(platform, false, "serve", platform.serve(false, std::nullopt));
    return exit_failure;
  }
  if (mode == "--test-mode") {
    (void)platform.serve(true, option_value(words, "--pipe"));
    return exit_failure;
  }
  if (mode == "--install") {
    const auto gui_dir = option_value(words, "--gui-dir");
    // The one install failure that leaves the previous run outcome in place.
    if (!gui_dir) return exit_failure;
    return report(platform, "install", platform.install(*gui_dir, option_value(words, "--user-sid")));
  }
  if (mode == "--uninstall") return report(platform, "uninstall", platform.uninstall());
  write_run_outcome(platform, false, "helper", usage_text);
  return exit_failure;
}

}  // namespace vorlane::entry
