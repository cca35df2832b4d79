#pragma once
// The running program's own file, held open from the first look until the copy is done.
#include "src/common/win32/unique_handle.hpp"
#include "src/setup/platform.hpp"

namespace vorlane::setup {

class OwnProgramWin32 final : public OwnProgram {
 public:
  std::expected<std::string, std::string> open() override;
  std::expected<bool, std::string> is_running_image() override;
  std::expected<void, std::string> copy_to(const std::string& path) override;

 private:
  vorlane::win32::unique_handle file_;
};

}  // namespace vorlane::setup
