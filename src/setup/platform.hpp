#pragma once
// What the install and uninstall procedures need from the system, one interface per job.
// Failures that the procedures report carry the system error text ("<message> (os error N)");
// the procedures add the prefix.
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "src/common/clock.hpp"
#include "src/setup/schtasks.hpp"
#include "src/system/elevation.hpp"

namespace vorlane::setup {

// Who runs: the user of the process token, and the process itself.
class UserIdentity {
 public:
  virtual ~UserIdentity() = default;
  [[nodiscard]] virtual std::optional<std::string> current_user_sid() = 0;
  [[nodiscard]] virtual std::uint32_t process_id() = 0;
};

class SetupFiles {
 public:
  virtual ~SetupFiles() = default;
  // The system's Program Files folder (machine-wide, not from the environment), or the system
  // error text.
  [[nodiscard]] virtual std::expected<std::string, std::string> program_files_dir() = 0;
  // True when `path`, followed through links, names something that exists and is no folder.
  [[nodiscard]] virtual bool is_file(const std::string& path) = 0;
  // Creates the folder with every missing parent; an existing folder is fine.
  [[nodiscard]] virtual std::expected<void, std::string> create_directories(const std::string& path) = 0;
  // Creates or truncates the file, then writes all bytes.
  [[nodiscard]] virtual std::expected<void, std::string> write_file(const std::string& path,
                                                                    std::string_view bytes) = 0;
  // Creates the file only if the name is free, then writes all bytes; a file it created and
  // could not fill is deleted again.
  [[nodiscard]] virtual std::expected<void, std::string> write_new_file(const std::string& path,
                                                                        std::string_view bytes) = 0;
  [[nodiscard]] virtual bool remove_file(const std::string& path) = 0;
  // Removes the folder only when it is empty.
  [[nodiscard]] virtual bool remove_empty_directory(const std::string& path) = 0;
  // Every name the listing yields ("." and ".." included), or absent when the folder cannot be
  // listed or the listing fails part-way.
  [[nodiscard]] virtual std::optional<std::vector<std::string>> list_directory(const std::string& path) = 0;
};

// The file this process was started from.
class OwnProgram {
 public:
  virtual ~OwnProgram() = default;
  // Opens the file the system names as the running program and holds it, readable only, until
  // this object goes: from then on nobody can rename, replace or change it. Yields its path.
  [[nodiscard]] virtual std::expected<std::string, std::string> open() = 0;
  // Whether the held file is the image this process runs from. Until the open, the name could
  // have been given to another file while the image stayed loaded from the renamed one.
  [[nodiscard]] virtual std::expected<bool, std::string> is_running_image() = 0;
  // Copies the held file, from its first byte, over an existing target.
  [[nodiscard]] virtual std::expected<void, std::string> copy_to(const std::string& path) = 0;
};

class TaskScheduler {
 public:
  virtual ~TaskScheduler() = default;
  [[nodiscard]] virtual SchtasksRun run_schtasks(const std::vector<std::string>& args) = 0;
};

class WallClock {
 public:
  virtual ~WallClock() = default;
  // Whole seconds since 1970-01-01 UTC, 0 if the clock reads earlier.
  [[nodiscard]] virtual std::uint64_t unix_seconds() = 0;
};

// Everything the procedures use, made in one place: the entry for the real system, a fake
// machine in the tests. `clock` paces the retries.
struct SetupSystem {
  system::ElevationQuery& elevation;
  UserIdentity& identity;
  SetupFiles& files;
  OwnProgram& own_program;
  TaskScheduler& scheduler;
  Clock& clock;
  WallClock& wall_clock;
};

}  // namespace vorlane::setup
