#include "src/setup/procedures.hpp"

#include <algorithm>

#include "src/common/product.hpp"
#include "src/common/text.hpp"
#include "src/common/version.hpp"
#include "src/setup/layout.hpp"
#include "src/setup/record.hpp"
#include "src/setup/task_definition.hpp"
#include "src/setup/texts.hpp"

namespace vorlane::setup {
namespace {

std::unexpected<std::string> fail(std::string_view text) {
  return std::unexpected(std::string(text));
}

std::unexpected<std::string> fail(std::string_view prefix, const std::string& cause) {
  return std::unexpected(std::string(prefix) + cause);
}

std::vector<std::string> end_args(const std::string& task) { return {"/End", "/TN", task}; }

}  // namespace

std::string own_path_key(std::string_view path) {
  std::string key = ascii_lower(sanitize_utf8(path));
  std::replace(key.begin(), key.end(), '/', '\\');
  return key;
}

std::expected<std::string, std::string> install(SetupPlatform& platform, const std::string& gui_dir,
                                                const std::optional<std::string>& expected_sid) {
  // Held from the start: the copy must come from this very file, which often lies in a folder
  // the user's unelevated programs can change. A failure counts only where the path is needed.
  const auto own_path = platform.open_own_program();
  if (platform.own_elevation() != Elevation::elevated) {
    return fail(texts::install_needs_admin);
  }
  const auto sid = platform.current_user_sid();
  if (!sid) {
    return fail(texts::no_user_sid);
  }
  // The consent prompt may have been answered with another account than the logged-on one.
  if (expected_sid && !ascii_iequals(*expected_sid, *sid)) {
    return fail(texts::other_account);
  }
  const std::string gui_path = join_path(gui_dir, client_program_name);
  if (!platform.is_file(gui_path)) {
    return fail(texts::gui_missing);
  }
  const std::string task = task_name(*sid);

  // A running helper holds the installed copy open; its outcome does not matter, the task may
  // not exist yet.
  platform.run_schtasks(end_args(task));

  if (!own_path) {
    return fail(texts::own_path_failed, own_path.error());
  }
  const auto program_files = platform.program_files_dir();
  if (!program_files) {
    return fail(texts::create_dir_failed, program_files.error());
  }
  const std::string install_dir = helper_install_dir(*program_files);
  const std::string installed_path = installed_program_path(*program_files);
  if (own_path_key(*own_path) != own_path_key(installed_path)) {
    if (auto made = platform.create_directories(install_dir); !made) {
      return fail(texts::create_dir_failed, made.error());
    }
    std::string last_error;
    bool copied = false;
    for (int attempt = 0; attempt < copy_attempts && !copied; ++attempt) {
      if (auto copy = platform.copy_own_program(installed_path)) {
        copied = true;
      } else {
        last_error = copy.error();
        platform.sleep(retry_pause);
      }
    }
    if (!copied) {
      return fail(texts::copy_failed, last_error);
    }
  }

  HelperRecord record;
  record.schema = record_schema;
  record.protocol = pipe_protocol_version;
  record.version = std::string(version_text);
  record.user_sid = *sid;
  record.gui_path = sanitize_utf8(gui_path);
  record.task_name = task;
  record.installed_at = platform.unix_seconds();
  // Also makes sure the install directory exists when the copy was skipped: the task
  // definition file goes there next.
  if (auto made = platform.create_directories(records_dir(*program_files)); !made) {
    return fail(texts::create_dir_failed, made.error());
  }
  const auto record_bytes = serialize_record(record);
  if (!record_bytes) {
    return std::unexpected(record_bytes.error());
  }
  const std::string record_file = record_path(*program_files, *sid);
  if (auto written = platform.write_file(record_file, *record_bytes); !written) {
    return fail(texts::record_write_failed, written.error());
  }

  // Only administrators can write the install directory, so no unelevated program can swap the
  // definition between writing and "/Create". A stale file of the name goes first; a name that
  // reappears in between is refused rather than written through.
  const std::string task_file = join_path(install_dir, task_file_name(platform.process_id()));
  platform.remove_file(task_file);
  const std::string bytes = task_file_bytes(task_document(*sid, sanitize_utf8(installed_path)));
  if (auto written = platform.write_new_file(task_file, bytes); !written) {
    return fail(texts::task_file_write_failed, written.error());
  }
  const std::vector<std::string> create_args{"/Create", "/TN", task, "/XML", task_file, "/F"};
  const auto created = schtasks_outcome(create_args, platform.run_schtasks(create_args));
  platform.remove_file(task_file);
  if (!created) {
    // No task means no helper will ever read the record; do not leave it behind.
    platform.remove_file(record_file);
    return std::unexpected(created.error());
  }
  platform.run_schtasks({"/Run", "/TN", task});
  return std::string(texts::install_succeeded);
}

std::expected<std::string, std::string> uninstall(SetupPlatform& platform) {
  if (platform.own_elevation() != Elevation::elevated) {
    return fail(texts::uninstall_needs_admin);
  }
  const auto sid = platform.current_user_sid();
  if (!sid) {
    return fail(texts::no_user_sid);
  }
  const std::string task = task_name(*sid);
  if (task_exists(platform.run_schtasks({"/Query", "/TN", task}))) {
    platform.run_schtasks(end_args(task));
    const std::vector<std::string> delete_args{"/Delete", "/TN", task, "/F"};
    if (auto deleted = schtasks_outcome(delete_args, platform.run_schtasks(delete_args));
        !deleted) {
      return std::unexpected(deleted.error());
    }
  }

  // Without the system's Program Files folder there is no record or shared file to find; the
  // task, which is what starts the elevated helper, is gone already.
  const auto program_files = platform.program_files_dir();
  if (!program_files) {
    return std::string(texts::uninstall_succeeded);
  }
  platform.remove_file(record_path(*program_files, *sid));

  // The shared files go only when the listing proves that no other user's record is left.
  const std::string records = records_dir(*program_files);
  const auto names = platform.list_directory(records);
  const bool last_user =
      names && std::all_of(names->begin(), names->end(),
                           [](const std::string& name) { return name == "." || name == ".."; });
  if (last_user) {
    platform.remove_empty_directory(records);
    const std::string program = installed_program_path(*program_files);
    for (int attempt = 0; attempt < remove_attempts; ++attempt) {
      if (platform.remove_file(program)) {
        break;
      }
      platform.sleep(retry_pause);
    }
    platform.remove_empty_directory(helper_install_dir(*program_files));
    platform.remove_empty_directory(join_path(*program_files, product_folder_name));
  }
  return std::string(texts::uninstall_succeeded);
}

}  // namespace vorlane::setup
