#pragma once
// The setup's file jobs on the real file system; paths are UTF-8, failures the system error text.
#include "src/setup/platform.hpp"

namespace vorlane::setup {

class SetupFilesWin32 final : public SetupFiles {
 public:
  std::expected<std::string, std::string> program_files_dir() override;
  bool is_file(const std::string& path) override;
  std::expected<void, std::string> create_directories(const std::string& path) override;
  std::expected<void, std::string> write_file(const std::string& path,
                                              std::string_view bytes) override;
  std::expected<void, std::string> write_new_file(const std::string& path,
                                                  std::string_view bytes) override;
  bool remove_file(const std::string& path) override;
  bool remove_empty_directory(const std::string& path) override;
  std::optional<std::vector<std::string>> list_directory(const std::string& path) override;
};

}  // namespace vorlane::setup
