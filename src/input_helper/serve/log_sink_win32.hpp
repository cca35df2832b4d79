#pragma once
// The serve loop's diagnostic lines on Windows: the process's standard error stream.
#include <string_view>

#include "src/input_helper/serve/serve_platform.hpp"

namespace vorlane::serve {

class StandardErrorLogWin32 final : public LogSink {
 public:
  void write_line(std::string_view line) override;
};

}  // namespace vorlane::serve
