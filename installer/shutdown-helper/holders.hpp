#pragma once
// Which programs hold a locked file: asked of the system once per file in a run, within a time
// bound, and written to the log as "holder" lines that a name can neither break nor forge.
#include <chrono>
#include <cstdint>
#include <expected>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "src/common/clock.hpp"

namespace vorlane::haltgate {

// One process that holds a file open, as the system names it.
struct FileHolder {
  std::uint32_t pid = 0;
  std::uint32_t session = 0;
  std::string app;      // the application's display name, UTF-8
  std::string service;  // the service's short name, empty for an ordinary program
};

class FileHolders {
 public:
  virtual ~FileHolders() = default;
  // The processes holding `path` open, as far as the system knows. Gives up with an error once
  // `budget` is spent between two of its steps.
  [[nodiscard]] virtual std::expected<std::vector<FileHolder>, std::string> holders_of(
      const std::string& path, std::chrono::milliseconds budget) = 0;
};

// `holder pid=<n> session=<n> app="<name>" service="<name>"`, names escaped by `quoted_field`.
[[nodiscard]] std::string holder_line(const FileHolder& holder);

// The text in double quotes, with `"` and `\` escaped by a backslash and every control
// character (C0, DEL, C1, U+2028, U+2029) written as \uXXXX: no name can end the field, start
// another one or start a line.
[[nodiscard]] std::string quoted_field(std::string_view text);

// The file an unlock error text names; absent for other errors (a folder that cannot be listed).
[[nodiscard]] std::optional<std::string> locked_file_of(std::string_view unlock_error);

// The holder lines of one run: each locked file is asked about the first time it is met only;
// an error, or an answer that came later than the bound, gives no lines.
class HolderReport {
 public:
  // Without a source of holders (null) no line is ever made.
  HolderReport(FileHolders* holders, Clock& clock) : holders_(holders), clock_(clock) {}

  [[nodiscard]] std::vector<std::string> lines_for(std::string_view unlock_error);

 private:
  FileHolders* holders_;
  Clock& clock_;
  std::set<std::string> asked_;
};

}  // namespace vorlane::haltgate
