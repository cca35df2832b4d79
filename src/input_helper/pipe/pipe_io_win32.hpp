#pragma once
// PipeIo over a connected pipe handle; the handle stays owned by the caller.
#include <windows.h>

#include "src/input_helper/pipe/pipe_io.hpp"

namespace vorlane::pipe {

class PipeIoWin32 final : public PipeIo {
 public:
  explicit PipeIoWin32(HANDLE pipe) : pipe_(pipe) {}
  std::expected<std::size_t, std::string> peek() override;
  std::expected<std::size_t, std::string> read(char* buffer, std::size_t size) override;
  std::expected<std::size_t, std::string> write(const char* data, std::size_t size) override;

 private:
  HANDLE pipe_;
};

}  // namespace vorlane::pipe
