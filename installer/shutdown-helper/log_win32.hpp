#pragma once
// What the entry needs from Windows: the log's folders and the log file itself.
#include <memory>
#include <string>
#include <string_view>

#include "installer/shutdown-helper/preflight.hpp"
#include "src/common/win32/unique_handle.hpp"

namespace vorlane::haltgate {

// Appends time-stamped lines to an open log file.
class FileLogWin32 final : public Log {
 public:
  explicit FileLogWin32(vorlane::win32::unique_handle file) : file_(std::move(file)) {}
  void write_line(std::string_view text) override;

 private:
  vorlane::win32::unique_handle file_;
};

class EntrySystemWin32 final : public EntrySystem {
 public:
  [[nodiscard]] bool create_directory(const std::string& path) override;
  [[nodiscard]] std::unique_ptr<Log> open_log(const std::string& path) override;
};

}  // namespace vorlane::haltgate
