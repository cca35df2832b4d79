#pragma once
// SHA-256 of a file through the system's cryptography library.
#include <expected>
#include <string>

#include "installer/shutdown-helper/preflight.hpp"

namespace vorlane::haltgate {

class FileDigestsWin32 final : public FileDigests {
 public:
  [[nodiscard]] std::expected<std::string, std::string> sha256_file(const std::string& path) override;
};

}  // namespace vorlane::haltgate
