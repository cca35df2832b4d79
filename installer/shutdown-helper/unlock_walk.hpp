#pragma once
// The unlock proof: a walk over the installation that opens every executable file exclusively.
// It walks from the folder's final path, whose verbatim form no name rule rewrites, and names
// files in its texts the way the installer gave the folder. The walk keeps its own list of
// folders still to visit, so the depth of a tree costs memory, never stack.
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string>

#include "installer/shutdown-helper/preflight.hpp"
#include "src/common/clock.hpp"

namespace vorlane::haltgate {

enum class EntryKind { file, directory, link };

struct FolderEntry {
  std::u16string name;
  EntryKind kind = EntryKind::file;  // a symbolic link or junction is a link, never a folder
};

// One open listing of a folder, in the order the file system returns its entries.
class FolderListing {
 public:
  virtual ~FolderListing() = default;
  // The next entry ("." and ".." included as the system gives them), absent at the end.
  [[nodiscard]] virtual std::expected<std::optional<FolderEntry>, std::string> next() = 0;
};

// Why a folder's final path could not be had. Only a failed open can show that nothing is
// there: a folder that opened and has no final path (a volume without a drive letter) is there.
struct FinalPathFailure {
  bool opened = false;
  SystemError error;
};

// The file system as the walk sees it. Paths are UTF-16, as the system takes them.
class InstallationFiles {
 public:
  virtual ~InstallationFiles() = default;
  // Opens the folder (following links) and gives its final path in the verbatim "\\?\" form.
  [[nodiscard]] virtual std::expected<std::u16string, FinalPathFailure> final_folder_path(
      const std::string& directory) = 0;
  [[nodiscard]] virtual std::expected<std::unique_ptr<FolderListing>, std::string> list(
      const std::u16string& folder) = 0;
  // Opens the file for reading and writing without sharing and closes it at once.
  [[nodiscard]] virtual std::expected<void, std::string> open_exclusive(const std::u16string& path) = 0;
};

class UnlockWalk final : public UnlockCheck {
 public:
  UnlockWalk(InstallationFiles& files, Clock& clock) : files_(files), clock_(clock) {}
  [[nodiscard]] std::expected<void, std::string> verify_unlocked(const std::string& directory,
                                                                 Clock::time_point deadline) override;

 private:
  InstallationFiles& files_;
  Clock& clock_;
};

}  // namespace vorlane::haltgate
