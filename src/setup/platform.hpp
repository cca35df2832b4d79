#pragma once
// What the install and uninstall procedures need from the system. Failures that the procedures
// report carry the system error text ("<message> (os error N)"); the procedures add the prefix.
#include <chrono>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "src/setup/schtasks.hpp"
#include "src/system/elevation.hpp"

namespace vorlane::setup {

class SetupPlatform {
 public:
  virtual ~SetupPlatform() = default;

  virtual Elevation own_elevation() = 0;
  virtual std::optional<std::string> current_user_sid() = 0;
  // The system's Program Files folder (machine-wide, not from the environment), or the Windows
  // error text.
  virtual std::expected<std::string, std::string> program_files_dir() = 0;

  // True when `path`, followed through links, names something that exists and is no folder.
  virtual bool is_file(const std::string& path) = 0;
  // Opens the file this process was started from and holds it, readable only, until the platform
  // goes: from then on nobody can rename, replace or change it. Yields its path.
  virtual std::expected<std::string, std::string> open_own_program() = 0;
  virtual std::uint32_t process_id() = 0;

  // Creates the folder with every missing parent; an existing folder is fine.
  virtual std::expected<void, std::string> create_directories(const std::string& path) = 0;
  // Copies the held own program, from its first byte, over an existing target.
  virtual std::expected<void, std::string> copy_own_program(const std::string& to) = 0;
  // Creates or truncates the file, then writes all bytes.
  virtual std::expected<void, std::string> write_file(const std::string& path,
                                                      std::string_view bytes) = 0;
  // Creates the file only if the name is free, then writes all bytes.
  virtual std::expected<void, std::string> write_new_file(const std::string& path,
                                                          std::string_view bytes) = 0;
  virtual bool remove_file(const std::string& path) = 0;
  // Removes the folder only when it is empty.
  virtual bool remove_empty_directory(const std::string& path) = 0;
  // Every name the listing yields ("." and ".." included), or absent when the folder cannot be
  // listed or the listing fails part-way.
  virtual std::optional<std::vector<std::string>> list_directory(const std::string& path) = 0;

  virtual SchtasksRun run_schtasks(const std::vector<std::string>& args) = 0;

  virtual void sleep(std::chrono::milliseconds pause) = 0;
  // Whole seconds since 1970-01-01 UTC, 0 if the clock reads earlier.
  virtual std::uint64_t unix_seconds() = 0;
};

}  // namespace vorlane::setup
