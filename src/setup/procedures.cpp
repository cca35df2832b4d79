#include "src/setup/procedures.hpp"

#include <algorithm>

#include "src/common/path.hpp"
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

std::expected<std::string, std::string> install(const SetupSystem& system, const std::string& gui_dir,
                                                const std::optional<std::string>& expected_sid) {
  // Held from the start: the copy must come from this very file, which often lies in a folder
  // the user's unelevated programs can change. A failure counts only where the path is needed.
  const auto own_path = system.own_program.open();
  if (system.elevation.own_elevation() != system::Elevation::elevated) {
    return fail(install_needs_admin);
  }
  const auto sid = system.identity.current_user_sid();
  if (!sid) {
    return fail(no_user_sid_text);
  }
  // The consent prompt may have been answered with another account than the logged-on one.
  if (expected_sid && !ascii_iequals(*expected_sid, *sid)) {
    return fail(other_account);
  }
  // An empty folder names the program in the working folder, as a relative one does.
  const std::string gui_path =
      gui_dir.empty() ? std::string(client_program_name) : join_path(gui_dir, client_program_name);
  if (!system.files.is_file(gui_path)) {
    return fail(gui_missing);
  }
  const std::string task = task_name(*sid);

  // A running helper holds the installed copy open; its outcome does not matter, the task may
  // not exist yet.
  (void)system.scheduler.run_schtasks(end_args(task));

  if (!own_path) {
    return fail(own_path_failed, own_path.error());
  }
  // Only the program that was started may be registered for every logon, not whatever a
  // program of the user put at its name before the open.
  const auto same_image = system.own_program.is_running_image();
  if (!same_image) {
    return fail(own_path_failed, same_image.error());
  }
  if (!*same_image) {
    return fail(own_path_failed, std::string(own_program_replaced));
  }
  const auto program_files = system.files.program_files_dir();
  if (!program_files) {
    return fail(create_dir_failed, program_files.error());
  }
  const std::string install_dir = helper_install_dir(*program_files);
  const std::string installed_path = installed_program_path(*program_files);
  if (own_path_key(*own_path) != own_path_key(installed_path)) {
    if (auto made = system.files.create_directories(install_dir); !made) {
      return fail(create_dir_failed, made.error());
    }
    std::string last_error;
    bool copied = false;
    for (int attempt = 0; attempt < copy_attempts && !copied; ++attempt) {
      if (auto copy = system.own_program.copy_to(installed_path)) {
        copied = true;
      } else {
        last_error = copy.error();
        system.clock.sleep(retry_pause);
      }
    }
    if (!copied) {
      return fail(copy_failed, last_error);
    }
  }

  HelperRecord record;
  record.schema = record_schema;
  record.protocol = pipe_protocol_version;
  record.version = std::string(version_text);
  record.user_sid = *sid;
  record.gui_path = sanitize_utf8(gui_path);
  record.task_name = task;
  record.installed_at = system.wall_clock.unix_seconds();
  // Also makes sure the install directory exists when the copy was skipped: the task
  // definition file goes there next.
  if (auto made = system.files.create_directories(records_dir(*program_files)); !made) {
    return fail(create_dir_failed, made.error());
  }
  const auto record_bytes = serialize_record(record);
  if (!record_bytes) {
    return std::unexpected(record_bytes.error());
  }
  const std::string record_file = record_path(*program_files, *sid);
  if (auto written = system.files.write_file(record_file, *record_bytes); !written) {
    return fail(record_write_failed, written.error());
  }

  // Only administrators can write the install directory, so no unelevated program can swap the
  // definition between writing and "/Create". A stale file of the name goes first; a name that
  // reappears in between is refused rather than written through.
  const std::string task_file = join_path(install_dir, task_file_name(system.identity.process_id()));
  // Whether a stale file was there shows at the write that follows.
  (void)system.files.remove_file(task_file);
  const std::string bytes = task_file_bytes(task_document(*sid, sanitize_utf8(installed_path)));
  if (auto written = system.files.write_new_file(task_file, bytes); !written) {
    return fail(task_file_write_failed, written.error());
  }
  const std::vector<std::string> create_args{"/Create", "/TN", task, "/XML", task_file, "/F"};
  const auto created = schtasks_outcome(create_args, system.scheduler.run_schtasks(create_args));
  // The definition is registered or refused by now; a file left over is removed by the next
  // install before it writes one.
  (void)system.files.remove_file(task_file);
  if (!created) {
    // No task means no helper will ever read the record; do not leave it behind. Nothing better
    // can be done when that fails.
    (void)system.files.remove_file(record_file);
    return std::unexpected(created.error());
  }
  // The task is registered, which is the success; it also starts at the next logon.
  (void)system.scheduler.run_schtasks({"/Run", "/TN", task});
  return std::string(install_succeeded);
}

std::expected<std::string, std::string> uninstall(const SetupSystem& system) {
  if (system.elevation.own_elevation() != system::Elevation::elevated) {
    return fail(uninstall_needs_admin);
  }
  const auto sid = system.identity.current_user_sid();
  if (!sid) {
    return fail(no_user_sid_text);
  }
  const std::string task = task_name(*sid);
  // A task left behind would start a helper without a record at every logon, so only a query
  // that answered "absent" spares the deletion, whose outcome then decides.
  if (task_may_exist(system.scheduler.run_schtasks({"/Query", "/TN", task}))) {
    // A helper that does not end now goes with the task; its outcome does not matter.
    (void)system.scheduler.run_schtasks(end_args(task));
    const std::vector<std::string> delete_args{"/Delete", "/TN", task, "/F"};
    if (auto deleted = schtasks_outcome(delete_args, system.scheduler.run_schtasks(delete_args));
        !deleted) {
      return std::unexpected(deleted.error());
    }
  }

  // Without the system's Program Files folder there is no record or shared file to find; the
  // task, which is what starts the elevated helper, is gone already.
  const auto program_files = system.files.program_files_dir();
  if (!program_files) {
    return std::string(uninstall_succeeded);
  }
  // A record that was never written is as good as one removed.
  (void)system.files.remove_file(record_path(*program_files, *sid));

  // The shared files go only when the listing proves that no other user's record is left.
  const std::string records = records_dir(*program_files);
  const auto names = system.files.list_directory(records);
  const bool last_user =
      names && std::all_of(names->begin(), names->end(),
                           [](const std::string& name) { return name == "." || name == ".."; });
  if (last_user) {
    // The folders go only when empty; one that keeps something of someone's stays, quietly.
    (void)system.files.remove_empty_directory(records);
    const std::string program = installed_program_path(*program_files);
    for (int attempt = 0; attempt < remove_attempts; ++attempt) {
      if (system.files.remove_file(program)) {
        break;
      }
      system.clock.sleep(retry_pause);
    }
    (void)system.files.remove_empty_directory(helper_install_dir(*program_files));
    (void)system.files.remove_empty_directory(join_path(*program_files, product_folder_name));
  }
  return std::string(uninstall_succeeded);
}

}  // namespace vorlane::setup
