#include "src/common/write_all.hpp"

#include <algorithm>

namespace vorlane {

std::expected<void, std::string> write_all(std::string_view bytes, const WriteSome& write_some,
                                           const std::function<std::string()>& no_progress_error) {
  while (!bytes.empty()) {
    const std::string_view piece = bytes.substr(0, std::min(bytes.size(), max_write_piece));
    const auto written = write_some(piece);
    if (!written) {
      return std::unexpected(written.error());
    }
    if (*written == 0 || *written > piece.size()) {
      return std::unexpected(no_progress_error());
    }
    bytes.remove_prefix(*written);
  }
  return {};
}

}  // namespace vorlane
