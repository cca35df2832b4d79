#pragma once
// The programs holding a file, as the Restart Manager knows them.
#include <chrono>
#include <expected>
#include <string>
#include <vector>

#include "installer/shutdown-helper/holders.hpp"
#include "src/common/clock.hpp"

namespace vorlane::haltgate {

class FileHoldersWin32 final : public FileHolders {
 public:
  explicit FileHoldersWin32(Clock& clock) : clock_(clock) {}
  [[nodiscard]] std::expected<std::vector<FileHolder>, std::string> holders_of(
      const std::string& path, std::chrono::milliseconds budget) override;

 private:
  Clock& clock_;
};

}  // namespace vorlane::haltgate
