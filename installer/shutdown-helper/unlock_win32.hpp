#pragma once
// The file system of the unlock walk over Windows: the installation folder's final path,
// folder listings, and the exclusive open of the lock test.
#include <expected>
#include <memory>
#include <string>

#include "installer/shutdown-helper/unlock_walk.hpp"

namespace vorlane::haltgate {

class InstallationFilesWin32 final : public InstallationFiles {
 public:
  [[nodiscard]] std::expected<std::u16string, FinalPathFailure> final_folder_path(const std::string& directory) override;
  [[nodiscard]] std::expected<std::unique_ptr<FolderListing>, std::string> list(const std::u16string& folder) override;
  [[nodiscard]] std::expected<void, std::string> open_exclusive(const std::u16string& path) override;
};

}  // namespace vorlane::haltgate
